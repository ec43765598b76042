// The packer's round trip: the input (repeated as many times as its first
// byte asks, for long matches and several blocks) is packed as one entry,
// -lh5- or (the first byte's top bit set) -lh7-, read back with our reader
// and compared.
#include <string>
#include <vector>

#include "fuzz/lzh/lzh_fuzz_support.h"
#include "tidewell/lzh/lzh_archive_writer.h"
#include "tidewell/lzh/lzh_entry_check.h"

namespace {

LzhArchiveWriter g_writer;

void Pack(const std::string& archive, const std::string& source, bool lh7)
{
    LZH_FUZZ_CHECK(LzhWriterOpen(&g_writer, archive.c_str()) == LZH_WRITE_OK);
    g_writer.dictionaryBits = lh7 ? 16 : 13;
    LzhPackEntry entry = {"fuzz.bin", "dir\xFF", 0, 0, 0};
    LZH_FUZZ_CHECK(LzhWriterAddFile(&g_writer, &entry, source.c_str()) == LZH_WRITE_OK);
    LZH_FUZZ_CHECK(LzhWriterClose(&g_writer) == LZH_WRITE_OK);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    std::vector<uint8_t> content;
    const unsigned copies = 1 + (data[0] & 0x0F) * 4;
    for (unsigned i = 0; i < copies && content.size() < (64u << 10); i++)
        content.insert(content.end(), data + 1, data + size);

    const std::string source = LzhFuzzPath() + ".src";
    const std::string archive = LzhFuzzPath() + ".pack.lzh";
    FILE* file = std::fopen(source.c_str(), "wb");
    LZH_FUZZ_CHECK(file != nullptr);
    LZH_FUZZ_CHECK(content.empty() || std::fwrite(content.data(), 1, content.size(), file) == content.size());
    LZH_FUZZ_CHECK(std::fclose(file) == 0);
    const bool lh7 = (data[0] & 0x80) != 0;
    Pack(archive, source, lh7);

    LzhArchive a = {};
    LZH_FUZZ_CHECK(LzhOpen(archive.c_str(), &a) == 0);
    LZH_FUZZ_CHECK(LzhReadHeaders(&a) == 0 && a.count == 1);
    const LzhEntry* e = LzhGetEntry(&a, 1);
    LZH_FUZZ_CHECK(e->originalSize == content.size());
    const char* packedMethod = lh7 ? "-lh7-" : "-lh5-";
    LZH_FUZZ_CHECK(std::strcmp(e->method, e->packedLength < content.size() ? packedMethod : "-lh0-") == 0);
    LZH_FUZZ_CHECK(LzhSelectEntry(&a, 1) == 0);
    static uint8_t buffer[32768];
    LzhEntryCheck check;
    LzhCheckStart(&check, e);
    size_t at = 0;
    for (uint32_t got; (got = LzhRead(buffer, sizeof buffer)) > 0; at += got) {
        LZH_FUZZ_CHECK(at + got <= content.size() && std::memcmp(buffer, content.data() + at, got) == 0);
        LzhCheckAdd(&check, buffer, got);
    }
    LZH_FUZZ_CHECK(at == content.size() && LzhCheckFinish(&check) == LZH_CHECK_OK);
    LzhClose(&a);
    return 0;
}

// The packer through the library: Huffman codes the decoder's tables read,
// and archives of every kind of content read back exactly by our reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "tests/lzh/lzh_test_support.h"
#include "tests/support/testenv.h"
#include "tidewell/lzh/lzh_archive_writer.h"
#include "tidewell/lzh/lzh_bits.h"
#include "tidewell/lzh/lzh_decoder.h"
#include "tidewell/lzh/lzh_entry_check.h"
#include "tidewell/lzh/lzh_header_writer.h"
#include "tidewell/lzh/lzh_huffman.h"
#include "tidewell/lzh/lzh_table.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint32_t> Fibonacci(unsigned n)
{
    std::vector<uint32_t> f = {1, 1};
    while (f.size() < n) f.push_back(f[f.size() - 1] + f[f.size() - 2]);
    return f;
}

TEST(LzhHuffman, CompleteLimitedCodesThatTheDecoderTablesRead)
{
    std::mt19937 random(11);
    std::vector<std::vector<uint32_t>> cases = {Fibonacci(30), {5, 0, 0, 9}, std::vector<uint32_t>(510, 1)};
    for (int round = 0; round < 20; round++) {
        std::vector<uint32_t> skewed(round < 10 ? 510 : 19);
        for (uint32_t& f : skewed) f = random() % 4 == 0 ? 0 : uint32_t(1) << (random() % 20);
        cases.push_back(skewed);
    }
    for (const auto& freq : cases) {
        const unsigned n = unsigned(freq.size());
        std::vector<uint8_t> lengths(n);
        std::vector<uint16_t> codes(n);
        ASSERT_GE(LzhMakeCodeLengths(freq.data(), n, 16, lengths.data()), 2u);
        LzhMakeCodes(lengths.data(), n, codes.data());
        uint64_t kraft = 0;
        for (unsigned s = 0; s < n; s++) {
            ASSERT_LE(lengths[s], 16);
            ASSERT_EQ(lengths[s] == 0, freq[s] == 0) << s;
            kraft += lengths[s] ? uint64_t(1) << (16 - lengths[s]) : 0;
            for (unsigned t = 0; t < n; t++)
                if (freq[s] > freq[t] && freq[t] > 0) {
                    ASSERT_LE(lengths[s], lengths[t]);
                }
        }
        EXPECT_EQ(kraft, 1u << 16);  // complete: other decoders refuse anything else
        // Every used symbol once, through the decoder's table and tree.
        static uint16_t table[4096];
        static LzhTree tree;
        ASSERT_EQ(LzhBuildTable(n, lengths.data(), 12, table, &tree), 0);
        BitWriter w;
        for (unsigned s = 0; s < n; s++) w.Put(codes[s], lengths[s]);
        LzhFile file = {};
        LzhFileOpen(&file, WriteScratchFile("codes.bin", w.Finish()).c_str());
        LzhBitsStart(&file);
        for (unsigned s = 0; s < n; s++)
            if (lengths[s]) {
                ASSERT_EQ(LzhLookup(table, 12, n, lengths.data(), &tree), s);
            }
        LzhFileClose(&file);
    }
}

struct SourceFile {
    std::string name;
    std::string directory;  // as stored, 0xFF after every component
    Bytes data;
    std::string method;  // expected: -lh0- when packing does not shrink it
};

// Packs the files (written to scratch first) into `archive`, -lh5- or
// (dictionaryBits 16) -lh7-.
int Pack(const std::string& archive, const std::vector<SourceFile>& files, uint64_t lastWrite = 0,
         unsigned dictionaryBits = 13)
{
    static LzhArchiveWriter writer;
    int result = LzhWriterOpen(&writer, archive.c_str());
    writer.dictionaryBits = dictionaryBits;
    for (size_t i = 0; result == 0 && i < files.size(); i++) {
        const std::string source = WriteScratchFile("source.bin", files[i].data);
        LzhPackEntry entry = {files[i].name.c_str(), files[i].directory.c_str(), lastWrite, lastWrite + 1, lastWrite};
        result = LzhWriterAddFile(&writer, &entry, source.c_str());
    }
    if (result != 0) {
        LzhWriterAbandon(&writer);
        return result;
    }
    return LzhWriterClose(&writer);
}

// Reads every entry back and checks it against the files packed.
void ExpectReadBack(const std::string& archive, const std::vector<SourceFile>& files)
{
    LzhArchive a = {};
    ASSERT_EQ(LzhOpen(archive.c_str(), &a), 0);
    ASSERT_EQ(LzhReadHeaders(&a), 0);
    ASSERT_EQ(a.count, int(files.size()));
    for (int n = 1; n <= a.count; n++) {
        const LzhEntry* e = LzhGetEntry(&a, n);
        const SourceFile& f = files[size_t(n - 1)];
        std::string directory = f.directory;
        std::replace(directory.begin(), directory.end(), '\xFF', '\\');
        EXPECT_EQ(e->name, f.name);
        EXPECT_EQ(e->directory, directory);
        EXPECT_EQ(e->method, f.method) << f.name;
        ASSERT_EQ(LzhSelectEntry(&a, n), 0) << f.name;
        Bytes data = ReadSelectedEntry(32768);
        LzhEntryCheck check;
        LzhCheckStart(&check, e);
        LzhCheckAdd(&check, data.data(), uint32_t(data.size()));
        EXPECT_EQ(LzhCheckFinish(&check), LZH_CHECK_OK) << f.name;
        EXPECT_TRUE(data == f.data) << f.name << " " << data.size() << " of " << f.data.size();
    }
    LzhClose(&a);
}

TEST(LzhPack, EveryKindOfContentReadsBackExactly)
{
    Bytes repeated = RandomBytes(8192, 5);  // a second copy lies exactly 8192 bytes back
    repeated.insert(repeated.end(), repeated.begin(), repeated.end());
    Bytes mixed = TextLike(3 << 20, 1);
    Bytes noise = RandomBytes(300000, 2);
    mixed.insert(mixed.begin() + (1 << 20), noise.begin(), noise.end());
    const std::vector<SourceFile> files = {
        {"empty.txt", "", {}, "-lh0-"},
        {"one.txt", "", BytesOf("x"), "-lh0-"},
        {"text.txt", "doc\xFF", TextLike(100000, 3), "-lh5-"},
        {"random.bin",
         "bin\xFF"
         "deep\xFF",
         RandomBytes(50000, 4), "-lh0-"},
        {"repeat8192.bin", "", repeated, "-lh5-"},
        {"boundary.txt", "", TextLike(8192 * 3, 6), "-lh5-"},
        // A literal, then 40000 matches of 256 bytes at distance 1: the
        // second block holds one symbol and one position code alone.
        {"zeros.bin", "", Bytes(1 + 256 * 40000, 0), "-lh5-"},
        {"mixed.bin", "", mixed, "-lh5-"},
        {"\x83\x65\x83\x58\x83\x67.txt", "\x95\x5C\x8E\xA6\xFF", TextLike(3000, 7), "-lh5-"},
    };
    const std::string archive = ScratchDir("lzh") + "/every.lzh";
    ASSERT_EQ(Pack(archive, files), 0);
    ExpectReadBack(archive, files);
    // Packed well: text below a third, zeros to almost nothing.
    EXPECT_LT(fs::file_size(archive), 50000u + 16384u + 3000u + (3u << 20) / 3 + 300000u + 100000u);
    EXPECT_FALSE(fs::exists(archive + ".part"));
}

TEST(LzhPack, Lh7ReachesRepeatsBeyondTheLh5Dictionary)
{
    // Noise repeated 40,000 and exactly 65,536 bytes later: only the 64 KB
    // dictionary finds the copies; -lh5- has to store them as they are.
    Bytes far = RandomBytes(40000, 8), farthest = RandomBytes(65536, 9);
    far.insert(far.end(), far.begin(), far.end());
    farthest.insert(farthest.end(), farthest.begin(), farthest.end());
    std::vector<SourceFile> files = {{"far.bin", "", far, "-lh7-"},
                                     {"farthest.bin", "", farthest, "-lh7-"},
                                     {"text.txt", "doc\xFF", TextLike(300000, 10), "-lh7-"},
                                     {"random.bin", "", RandomBytes(1000, 11), "-lh0-"}};
    const std::string archive = ScratchDir("lzh") + "/lh7.lzh";
    ASSERT_EQ(Pack(archive, files, 0, 16), 0);
    ExpectReadBack(archive, files);
    EXPECT_LT(fs::file_size(archive), 40000u + 65536u + 100000u + 1000u + 2000u);
    files[0].method = files[1].method = "-lh0-";
    files[2].method = "-lh5-";
    ASSERT_EQ(Pack(archive, files), 0);
    ExpectReadBack(archive, files);
}

TEST(LzhPack, HeadersCarryTimesCrcAndPadding)
{
    // 26 fixed bytes + CRC header 5 + name header (3 + 195) + times 27 = 256:
    // one byte of padding keeps the low byte of the total length from 0.
    const uint64_t time = 116444736000000000ull + 1000000000ull * 10000000ull;
    const std::vector<SourceFile> files = {{std::string(195, 'n'), "", BytesOf("padded"), "-lh0-"}};
    const std::string archive = ScratchDir("lzh") + "/padded.lzh";
    ASSERT_EQ(Pack(archive, files, time), 0);
    Bytes bytes = ReadWholeFile(archive);
    ASSERT_GE(bytes.size(), 257u);
    EXPECT_EQ(bytes[0] | bytes[1] << 8, 257);
    EXPECT_EQ(uint32_t(bytes[15] | bytes[16] << 8 | bytes[17] << 16 | uint32_t(bytes[18]) << 24), 1000000000u);
    // The header CRC (extended type 0, right after the first size field)
    // covers the whole header with itself as 0.
    ASSERT_EQ(bytes[26], 0x00);
    const uint16_t stored = uint16_t(bytes[27] | bytes[28] << 8);
    Bytes header(bytes.begin(), bytes.begin() + 257);
    header[27] = header[28] = 0;
    EXPECT_EQ(stored, Crc16(header));
    EXPECT_EQ(bytes.size(), 257u + 6u + 1u);  // header, stored data, end mark
    ExpectReadBack(archive, files);
    LzhArchive a = {};
    ASSERT_EQ(LzhOpen(archive.c_str(), &a), 0);
    ASSERT_EQ(LzhReadHeaders(&a), 0);
    EXPECT_EQ(LzhGetEntry(&a, 1)->lastWriteTime, time);
    EXPECT_EQ(LzhGetEntry(&a, 1)->lastAccessTime, time + 1);
    EXPECT_EQ(LzhGetEntry(&a, 1)->creationTime, time);
    LzhClose(&a);
}

TEST(LzhPack, FailuresLeaveTheOldArchive)
{
    const std::string archive = ScratchDir("lzh") + "/kept.lzh";
    const std::vector<SourceFile> good = {{"a.txt", "", BytesOf("old archive"), "-lh0-"}};
    ASSERT_EQ(Pack(archive, good), 0);
    const Bytes before = ReadWholeFile(archive);
    EXPECT_EQ(Pack(archive, {{"a.txt", "", {}, ""}, {std::string(241, 'n'), "", {}, ""}}), LZH_WRITE_NAME);
    EXPECT_EQ(Pack(archive, {{"a.txt", "", {}, ""}, {"b", std::string(240, 'd') + "\xFF", {}, ""}}), LZH_WRITE_NAME);
    static LzhArchiveWriter writer;
    ASSERT_EQ(LzhWriterOpen(&writer, archive.c_str()), 0);
    LzhPackEntry entry = {"missing.txt", "", 0, 0, 0};
    EXPECT_EQ(LzhWriterAddFile(&writer, &entry, (archive + ".none").c_str()), LZH_WRITE_SOURCE);
    LzhWriterAbandon(&writer);
    EXPECT_EQ(ReadWholeFile(archive), before);
    EXPECT_FALSE(fs::exists(archive + ".part"));
    EXPECT_EQ(LzhWriterOpen(&writer, (ScratchDir("lzh") + "/no/such/dir/x.lzh").c_str()), LZH_WRITE_OUTPUT);
}

}  // namespace

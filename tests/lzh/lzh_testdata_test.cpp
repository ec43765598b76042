// Archives made by many archivers: every member decodes to the size, CRC-16
// and SHA-256 that the manifest lists, and to the CRC-16 its header stores.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "tests/lzh/lzh_test_support.h"
#include "tidewell/lzh/lzh_crc16.h"
#include "tests/support/testenv.h"
#include "tidewell/lzh/lzh_decoder.h"
#include "tidewell/lzh/lzh_entry_check.h"

namespace {

struct ManifestRow {
    std::string path;  // as a reference decoder extracted it, '/'-separated
    uint32_t size;
    uint16_t crc;
    std::string sha256;  // "-" when not known
};

std::map<std::string, std::vector<ManifestRow>> ReadManifest()
{
    std::map<std::string, std::vector<ManifestRow>> rows;
    std::ifstream in(TestPath("lzh/MANIFEST.tsv"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string archive, path, size, crc, sha;
        std::getline(fields, archive, '\t');
        std::getline(fields, path, '\t');
        std::getline(fields, size, '\t');
        std::getline(fields, crc, '\t');
        std::getline(fields, sha, '\t');
        if (!sha.empty() && sha.back() == '\r') sha.pop_back();
        rows[archive].push_back({path, uint32_t(std::stoul(size)), uint16_t(std::stoul(crc, nullptr, 16)), sha});
    }
    return rows;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

// The entry's path with '/' separators, lower case.
std::string EntryPath(const LzhEntry* e)
{
    std::string path = std::string(e->directory) + e->name;
    for (char& c : path)
        if (c == '\\') c = '/';
    return Lower(path);
}

// Level-0 names keep only their last component.
bool SameMember(const LzhEntry* e, const std::string& manifestPath)
{
    std::string wanted = Lower(manifestPath);
    if (EntryPath(e) == wanted) return true;
    size_t slash = wanted.rfind('/');
    return e->directory[0] == '\0' && slash != std::string::npos && Lower(e->name) == wanted.substr(slash + 1);
}

TEST(LzhTestData, EveryMemberOfEveryArchive)
{
    SKIP_WITHOUT_TESTDATA();
    auto manifest = ReadManifest();
    ASSERT_GE(manifest.size(), 30u);
    int checked = 0;
    for (const auto& [name, rows] : manifest) {
        SCOPED_TRACE(name);
        LzhArchive archive = {};
        ASSERT_EQ(LzhOpen(TestPath(("lzh/" + name).c_str()).c_str(), &archive), 0);
        ASSERT_EQ(LzhReadHeaders(&archive), 0);
        int files = 0;
        for (int n = 1; n <= archive.count; n++) {
            const LzhEntry* e = LzhGetEntry(&archive, n);
            if (LzhIsDirectoryEntry(e)) {
                EXPECT_EQ(LzhSelectEntry(&archive, n), -2);  // no data to decode
                continue;
            }
            files++;
            const ManifestRow* row = nullptr;
            for (const ManifestRow& r : rows)
                if (SameMember(e, r.path)) row = &r;
            ASSERT_NE(row, nullptr) << EntryPath(e);
            EXPECT_EQ(e->originalSize, row->size);
            ASSERT_EQ(LzhSelectEntry(&archive, n), 0) << e->method;
            // Odd read sizes cross every dictionary boundary differently.
            Bytes data = ReadSelectedEntry(n % 2 ? 32768 : 1000);
            LzhEntryCheck check;
            LzhCheckStart(&check, e);
            LzhCheckAdd(&check, data.data(), uint32_t(data.size()));
            EXPECT_EQ(LzhCheckFinish(&check), LZH_CHECK_OK) << e->method;  // against the header's CRC
            EXPECT_EQ(data.size(), row->size) << e->method;
            EXPECT_EQ(Crc16(data), row->crc) << e->method;
            if (row->sha256 != "-") {
                EXPECT_EQ(Sha256Hex(data), row->sha256) << e->method;
            }
            checked++;
        }
        EXPECT_EQ(files, int(rows.size()));
        LzhClose(&archive);
    }
    EXPECT_GE(checked, 30);
}

TEST(LzhTestData, ChecksumHelpersAgreeWithKnownValues)
{
    EXPECT_EQ(Sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex(BytesOf("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(Bytes(1000, 'a')).substr(0, 16), "41edece42d63e8d9");
    EXPECT_EQ(Crc16(BytesOf("123456789")), 0xBB3D);  // CRC-16/ARC check value
}

// The entry check takes eight bytes a step: every length and offset around
// that step, and a running value carried across pieces, match the helper.
TEST(LzhTestData, EntryCrcMatchesTheHelperForEveryLengthAndOffset)
{
    Bytes bytes(64);
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = uint8_t(i * 151 + 77);
    for (size_t offset = 0; offset < 8; offset++) {
        for (size_t length = 0; length <= 40; length++) {
            uint16_t split = LzhCrc16Update(0, bytes.data() + offset, length / 3);
            split = LzhCrc16Update(split, bytes.data() + offset + length / 3, length - length / 3);
            Bytes piece(bytes.begin() + offset, bytes.begin() + offset + length);
            EXPECT_EQ(Crc16(piece), split) << offset << " " << length;
        }
    }
}

}  // namespace

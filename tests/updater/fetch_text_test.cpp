// CRC-16, the user agent, the download's file name and output path, the
// progress percentage and the name of a new information file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/updater/record_bytes.h"
#include "tidewell/updater/crc16.h"
#include "tidewell/updater/fetch_names.h"
#include "tidewell/updater/info_file_name.h"
#include "tidewell/updater/user_agent.h"

namespace {

TEST(Crc16, CheckValuesAndPieces)
{
    EXPECT_EQ(0x29B1, Crc16Update("123456789", 9, kCrc16Initial));
    EXPECT_EQ(0x514A, Crc16Update("abc", 3, kCrc16Initial));
    EXPECT_EQ(0xFFFF, Crc16Update("", 0, kCrc16Initial));
    EXPECT_EQ(0x1234, Crc16Update("abc", -5, 0x1234));
    std::string bytes;
    for (int i = 0; i < 20000; ++i) bytes += static_cast<char>((i * 7919) >> 3);
    uint16_t whole = Crc16Update(bytes.data(), static_cast<int32_t>(bytes.size()), kCrc16Initial);
    EXPECT_EQ(BitwiseCrc16(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), whole);
    uint16_t pieces = kCrc16Initial;
    for (size_t at = 0; at < bytes.size(); at += 8192) {
        size_t n = std::min<size_t>(8192, bytes.size() - at);
        pieces = Crc16Update(bytes.data() + at, static_cast<int32_t>(n), pieces);
    }
    EXPECT_EQ(whole, pieces);
}

// Eight bytes are taken a step at a time: every length and starting offset
// around that step must give what one bit at a time gives.
TEST(Crc16, EveryLengthAndOffsetMatchesTheBitwiseCrc)
{
    uint8_t bytes[64];
    for (int i = 0; i < 64; ++i) bytes[i] = static_cast<uint8_t>(i * 151 + 77);
    for (int offset = 0; offset < 8; ++offset) {
        for (int length = 0; length <= 40; ++length) {
            uint16_t split = Crc16Update(bytes + offset, length / 3, kCrc16Initial);
            split = Crc16Update(bytes + offset + length / 3, length - length / 3, split);
            EXPECT_EQ(BitwiseCrc16(bytes + offset, static_cast<size_t>(length)), split) << offset << " " << length;
        }
    }
}

std::string Agent(const RecordBytes* record, size_t capacity = kUserAgentSize)
{
    char out[kUserAgentSize];
    RecordView view{record ? record->data() : nullptr, record ? static_cast<uint32_t>(record->size()) : 0};
    BuildUserAgent(view, out, capacity);
    return out;
}

TEST(UserAgent, WithAndWithoutAnInstalledRecord)
{
    EXPECT_EQ("Tidewell/2.0", Agent(nullptr));
    RecordBytes record = Record2(1);
    EXPECT_EQ("Marrowby Tidewell/2.0", Agent(&record));
    // A product name running on to the end of the record is cut to fit.
    RecordBytes endless = Record2(1);
    endless.resize(700, 'n');
    std::memset(endless.data() + 44, 'n', endless.size() - 44);
    std::string agent = Agent(&endless);
    EXPECT_EQ(kUserAgentSize - 1, agent.size());
    EXPECT_EQ(" Tidewell/2.0", agent.substr(agent.size() - 13));
}

std::string Name(const char* urlPath)
{
    char out[kDownloadNameSize];
    DownloadFileName(urlPath, out, sizeof(out));
    return out;
}

TEST(DownloadName, LastPathSegmentCleanedLikeEveryLocalName)
{
    EXPECT_EQ("marrowby-0.24.lzh", Name("/updates/marrowby-0.24.lzh"));
    EXPECT_EQ("dlfile", Name("/updates/"));
    EXPECT_EQ("dlfile", Name("/"));
    EXPECT_EQ("a.lzh_v=2", Name("/a.lzh?v=2"));
    // Hostile names cannot leave the download folder or open a device.
    EXPECT_EQ("evil.exe", Name("/x/..\\..\\windows\\evil.exe"));
    EXPECT_EQ("dlfile", Name("/x/.."));
    EXPECT_EQ("dlfile", Name("/x/..\\"));
    EXPECT_EQ("evil.lzh", Name("/C:evil.lzh"));
    EXPECT_EQ("_con.lzh", Name("/con.lzh"));
    EXPECT_EQ("_LPT1", Name("/LPT1"));
    EXPECT_EQ("a_b", Name("/a|b"));
    EXPECT_EQ(255u, Name(("/" + std::string(300, 'x')).c_str()).size());
}

std::string Path(const char* folder, const char* name, size_t capacity = kOutputPathSize)
{
    char out[kOutputPathSize];
    if (BuildOutputPath(folder, name, out, capacity) != 0) return "refused";
    return out;
}

TEST(DownloadName, OutputPathInTheFolder)
{
    EXPECT_EQ("C:\\tmp\\a.lzh", Path("C:\\tmp\\", "a.lzh"));
    EXPECT_EQ("C:\\tmp\\a.lzh", Path("C:\\tmp", "a.lzh"));
    EXPECT_EQ("C:\\tmp\\a.lzh", Path("C:\\tmp\\   ", "a.lzh"));
    EXPECT_EQ("C:/tmp\\a.lzh", Path("C:/tmp/", "a.lzh"));
    EXPECT_EQ("C:\\my files  \\a.lzh", Path("C:\\my files  ", "a.lzh"));
    EXPECT_EQ("C:\\\x95\x5c\\a.lzh", Path("C:\\\x95\x5c", "a.lzh"));  // a double-byte character is not cut
    EXPECT_EQ("a.lzh", Path(nullptr, "a.lzh"));
    EXPECT_EQ("a.lzh", Path("", "a.lzh"));
    // The longest folder and name fit; a longer folder is refused, not cut.
    std::string folder(259, 'f');
    std::string name(255, 'n');
    EXPECT_EQ(515u, Path(folder.c_str(), name.c_str()).size());
    EXPECT_EQ("refused", Path((folder + "g").c_str(), "a.lzh"));
    EXPECT_EQ("refused", Path("C:\\tmp", "a.lzh", 12));
    EXPECT_EQ("C:\\tmp\\a.lzh", Path("C:\\tmp", "a.lzh", 13));
}

TEST(DownloadProgress, PercentWithoutOverflow)
{
    EXPECT_EQ(0u, DownloadPercent(5000, 0));
    EXPECT_EQ(0u, DownloadPercent(0, 100000000));
    EXPECT_EQ(42u, DownloadPercent(42000000, 100000000));
    EXPECT_EQ(99u, DownloadPercent(99999999, 100000000));
    EXPECT_EQ(100u, DownloadPercent(100000000, 100000000));
    EXPECT_EQ(99u, DownloadPercent(0xFFFFFFFE, 0xFFFFFFFF));
    EXPECT_EQ(50u, DownloadPercent(0x7FFFFFFF, 0xFFFFFFFE));
    EXPECT_EQ(100u, DownloadPercent(0xFFFFFFFF, 1));  // more than announced
}

// The name the fetched record is written under: the known one, else the
// last part of a URL the server sent, cleaned like a download's name.
TEST(InformationFileName, KnownNameThenTheUrlsLastPartMadeSafe)
{
    auto name = [](const RecordBytes& record, const char* known) {
        char out[260] = "unchanged";
        int result = InformationFileName(RecordView{record.data(), static_cast<uint32_t>(record.size())}, known, out,
                                         sizeof(out));
        return std::to_string(result) + " " + out;
    };
    RecordBytes two = Record2(0x01000001);
    EXPECT_EQ("0 ..\\given.qvn", name(two, "..\\given.qvn"));  // from the command line: as given
    EXPECT_EQ("0 info.qvn", name(two, ""));
    EXPECT_EQ("0 old.lzh", name(Record1(0x01000001), nullptr));  // format 1: its archive URL
    const char* kServerNames[][2] = {{"http://h/a/b.qvn?x=1", "b.qvn_x=1"},
                                     {"http://h/con.qvn", "_con.qvn"},
                                     {"http://h/a\\b:c.qvn", "c.qvn"},
                                     {"rel.qvn", "rel.qvn"},
                                     {"http://h/\x83\x5c.qvn", "\x83\x5c.qvn"}};
    for (const auto& pair : kServerNames) {
        RecordBytes record = Record2(0x01000001);
        std::memset(record.data() + 108, 0, 128);
        PutText(record, 108, pair[0]);
        EXPECT_EQ(std::string("0 ") + pair[1], name(record, "")) << pair[0];
    }
    for (const char* nameless : {"http://h/dir/", "http://h/x/..", ""}) {
        std::memset(two.data() + 108, 0, 128);
        PutText(two, 108, nameless);
        EXPECT_EQ("1 ", name(two, "")) << nameless;  // no name to take
    }
    two[4] = 3;
    EXPECT_EQ("1 ", name(two, ""));  // a format without a URL rule
}

}  // namespace

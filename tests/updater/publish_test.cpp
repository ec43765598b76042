// tidewell-publish end to end (natively and under Wine): the record it
// writes read back by the updater's own reader, and its refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/testenv.h"
#include "tests/support/tool_run.h"
#include "tests/updater/record_bytes.h"
#include "tidewell/updater/update_record.h"

namespace {

namespace fs = std::filesystem;

class PublishTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(ToolBinary("tidewell-publish"))) GTEST_SKIP() << "tidewell-publish is not built";
        dir_ = ScratchDir("publish") + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }

    std::string File(const char* name, const std::string& bytes)
    {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    ToolRun Publish(const std::string& arguments) { return RunTool(ToolBinary("tidewell-publish"), arguments); }

    std::string dir_;
};

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Text(RecordView record, uint32_t offset)
{
    char out[256];
    RecordText(record, offset, out, sizeof(out));
    return out;
}

TEST_F(PublishTool, WritesARecordTheUpdaterReads)
{
    std::string archive;
    for (int i = 0; i < 100000; ++i) archive += static_cast<char>((i * 131) ^ (i >> 7));
    std::string archivePath = File("m.lzh", archive);
    // Two kanji (U+66F4 U+65B0) and a line end: written as UTF-16LE with CR LF.
    std::string notesPath = File("notes.txt", "\xEF\xBB\xBF\xE6\x9B\xB4\xE6\x96\xB0\nok");
    std::string out = dir_ + "/m.qvn";
    ToolRun run = Publish("write " + Quote(out) +
                          " --id 00112233445566778899AaBbCcDdEeFf --version 128.2.3.4 --product Marrowby"
                          " --program marrowby.exe --info-url http://127.0.0.1/m.qvn"
                          " --archive-url http://127.0.0.1/m.lzh --archive " +
                          Quote(archivePath) + " --notes " + Quote(notesPath) + " --start-program --temp-folder");
    ASSERT_EQ(0, run.status) << run.output;

    std::string bytes = Read(out);
    RecordView record{reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size())};
    ASSERT_EQ(368u + 2 * 7, bytes.size());  // six units and the terminator
    EXPECT_TRUE(RecordHasMagic(record));
    EXPECT_EQ(kRecordLengthOk, CheckRecordLength(record));
    EXPECT_EQ(2, RecordFormat(record));
    EXPECT_EQ(0x80020304u, RecordVersion(record));
    EXPECT_EQ(0x08u | 0x40u | 0x80u, RecordFlags(record));
    const uint8_t id[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                            0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ(0, memcmp(id, RecordProductId(record), 16));
    EXPECT_EQ("Marrowby", Text(record, kRecord2ProductNameOffset));
    EXPECT_EQ("marrowby.exe", Text(record, kRecord2ProgramOffset));
    EXPECT_EQ("http://127.0.0.1/m.qvn", Text(record, kRecord2InfoUrlOffset));
    EXPECT_EQ("http://127.0.0.1/m.lzh", Text(record, kRecord2ArchiveUrlOffset));
    EXPECT_EQ(BitwiseCrc16(reinterpret_cast<const uint8_t*>(archive.data()), archive.size()), RecordArchiveCrc(record));
    uint32_t units = 0;
    EXPECT_TRUE(RecordNotes(record, kRecord2NotesOffset, &units));
    const uint16_t notes[] = {0x66F4, 0x65B0, '\r', '\n', 'o', 'k', 0};
    for (uint32_t i = 0; i < 7; ++i) EXPECT_EQ(notes[i], ReadLe16(record.bytes + 368 + 2 * i)) << i;

    ToolRun shown = Publish("show " + Quote(out));
    EXPECT_EQ(0, shown.status);
    for (const char* line :
         {"version: 128.2.3.4 (0x80020304)\n", "product identifier: 00112233445566778899aabbccddeeff\n",
          "start the program after the update, extract into the temporary folder\n", "(checked)\n",
          "notes: 6 UTF-16 units\n", "  | \xE6\x9B\xB4\xE6\x96\xB0\n  | ok\n"})
        EXPECT_NE(std::string::npos, shown.output.find(line)) << line << shown.output;

    // Without an archive: no CRC flag, no archive offered.
    ToolRun bare = Publish("write " + Quote(out) +
                           " --id 00112233445566778899aabbccddeeff --version 1.0.0.0"
                           " --info-url http://127.0.0.1/m.qvn");
    ASSERT_EQ(0, bare.status) << bare.output;
    bytes = Read(out);
    record = RecordView{reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size())};
    EXPECT_EQ(370u, bytes.size());
    EXPECT_EQ(0u, RecordFlags(record));
    EXPECT_NE(std::string::npos, Publish("--show " + Quote(out)).output.find("archive URL: none"));
}

TEST_F(PublishTool, RefusesWhatDoesNotFitAndSaysWhyARecordIsRefused)
{
    std::string out = dir_ + "/r.qvn";
    std::string base = "write " + Quote(out) +
                       " --id 00112233445566778899aabbccddeeff --version 1.0.0.0"
                       " --info-url http://127.0.0.1/m.qvn";
    EXPECT_EQ(1, Publish(base + " --product " + std::string(32, 'p')).status);
    EXPECT_EQ(0, Publish(base + " --product " + std::string(31, 'p')).status);
    EXPECT_EQ(1, Publish(base + " --archive-url http://h/" + std::string(120, 'a')).status);
    EXPECT_EQ(1, Publish(base + " --version 1.2.3").status);
    // Only what the updater fetches: http and https.
    EXPECT_EQ(0, Publish(base + " --archive-url HTTPS://localhost/m.lzh").status);
    ToolRun ftp = Publish(base + " --archive-url ftp://127.0.0.1/m.lzh");
    EXPECT_EQ(1, ftp.status);
    EXPECT_NE(std::string::npos, ftp.output.find("must start with http:// or https://")) << ftp.output;
    EXPECT_EQ(1, Publish("write " + Quote(out) + " --id 0011 --version 1.0.0.0 --info-url u").status);
    EXPECT_EQ(1, Publish("write " + Quote(out) +
                         " --id 00112233445566778899aabbccddeeff --version 1.2.3.256"
                         " --info-url u")
                     .status);
    EXPECT_EQ(1, Publish(base + " --notes " + Quote(File("bad.txt", "\xC3\x28"))).status);
    EXPECT_EQ(2, Publish(base + " --archive " + Quote(dir_ + "/missing.lzh")).status);
    // A program the updater would refuse to start after the update.
    for (const char* program : {"..\\m.exe", "/bin/m", "C:m.exe", "sub/../../m.exe", "NUL"}) {
        ToolRun start = Publish(base + " --start-program --program " + Quote(program));
        EXPECT_EQ(1, start.status) << program;
        EXPECT_NE(std::string::npos, start.output.find("would not be started")) << start.output;
    }
    EXPECT_EQ(1, Publish(base + " --start-program").status);
    EXPECT_EQ(0, Publish(base + " --start-program --program " + Quote("bin\\m.exe")).status);
    EXPECT_EQ(0, Publish(base + " --program ../m.exe").status);  // never started: only shown
    ToolRun unknown = Publish("unpack a.lzh");
    EXPECT_EQ(1, unknown.status);
    EXPECT_NE(std::string::npos, unknown.output.find("usage:"));

    RecordBytes two = Record2(1);
    two.resize(369);
    ToolRun shortTwo = Publish("show " + Quote(File("short2.qvn", std::string(two.begin(), two.end()))));
    EXPECT_EQ(3, shortTwo.status);
    EXPECT_NE(std::string::npos,
              shortTwo.output.find("refused: 369 bytes are shorter than the 370-byte fixed part of format 2"))
        << shortTwo.output;
    RecordBytes one = Record1(1);
    one.resize(295);
    EXPECT_NE(std::string::npos, Publish("show " + Quote(File("short1.qvn", std::string(one.begin(), one.end()))))
                                     .output.find("295 bytes are shorter than the 296-byte fixed part of format 1"));
    EXPECT_NE(std::string::npos, Publish("show " + Quote(File("magic.qvn", "TDWX\x02"))).output.find("magic"));
    RecordBytes open = Record2(1);
    PutNotes(open, 368, "no end", false);
    ToolRun cut = Publish("show " + Quote(File("open.qvn", std::string(open.begin(), open.end()))));
    EXPECT_EQ(0, cut.status);
    EXPECT_NE(std::string::npos, cut.output.find("6 UTF-16 units (no terminator")) << cut.output;
}

}  // namespace

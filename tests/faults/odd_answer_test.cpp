// The main window's downloads against answers a careful client judges rather
// than saves: each ends Completed only with exactly the served body in its
// file, and Failed otherwise.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>
#include <windows.h>

#include "marrowby/app/download_list.h"
#include "tests/support/served_pattern.h"
#include "tests/ui/command_test_support.h"
#include "tests/ui/program_support.h"
#include "tests/ui/sheet_driver.h"

namespace {

std::string Hex(const std::string& bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

class OddAnswerTest : public CommandTest {
protected:
    DownloadItem* Item(size_t index)
    {
        DownloadItem* item = FirstListItem();
        for (size_t i = 0; i < index && item; ++i) item = item->next;
        return item;
    }

    bool AllEnded(size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            DownloadItem* item = Item(i);
            if (!item || item->state == ItemState::Running || item->state == ItemState::Waiting) return false;
        }
        return true;
    }
};

struct AnswerCase {
    std::string pathAndQuery;
    std::string savedName;  // empty: the download must fail
    size_t size;
};

TEST_F(OddAnswerTest, EachAnswerCompletesOnlyWithTheServedBody)
{
    const char* port = getenv("MW_HTTP_PORT");
    if (!port) GTEST_SKIP() << "needs the scripted server";
    // A network-path Location, percent-encoded in the query.
    const std::string netPath = "//127.0.0.1:" + std::string(port) + "/odd5/moved.bin?size=7000";
    std::string escaped;
    for (unsigned char c : netPath) {
        char code[4];
        snprintf(code, sizeof code, "%%%02X", c);
        escaped += code;
    }
    std::vector<AnswerCase> cases = {
        {"odd1/interim.bin?odd=interim&size=5000", "interim.bin", 5000},
        {"odd2/interimonly.bin?odd=interimonly", "", 0},
        {"odd3/r307.bin?size=6000&hops=1&hopstatus=307", "r307.bin", 6000},
        {"odd4/r308.bin?size=6100&hops=2&hopstatus=308", "r308.bin", 6100},
        {"odd5/netpath.bin?status=302&loc=" + escaped, "moved.bin", 7000},
        {"odd6/chunked.bin?odd=chunked&size=20000", "chunked.bin", 20000},
        {"odd7/chunkcut.bin?odd=chunkcut&size=20000", "", 0},
        {"odd8/twolengths.bin?odd=twolengths", "", 0},
    };
    const std::string badLines[] = {"HTTP/1.1 abc OK",
                                    "HTTP/1.1 2000 OK",
                                    "HTTP/1.1 -1 X",
                                    "HTTP/1.1 600 X",
                                    std::string("HTTP/1.1 200\0OK", 15),
                                    ""};
    int n = 0;
    for (const std::string& line : badLines) {
        cases.push_back({"oddline" + std::to_string(++n) + "/line.bin?odd=line&line=" + Hex(line), "", 0});
    }

    std::vector<StartRecord> records;
    for (const AnswerCase& c : cases) records.push_back({ServerUrl(c.pathAndQuery), 0, 0, ""});
    Start(true, records);
    ASSERT_TRUE(RunLoopUntil(
        host_, [&] { return AllEnded(cases.size()); }, 60000));
    for (size_t i = 0; i < cases.size(); ++i) {
        const AnswerCase& c = cases[i];
        DownloadItem* item = Item(i);
        if (c.savedName.empty()) {
            EXPECT_EQ(ItemState::Failed, item->state) << c.pathAndQuery;
            continue;
        }
        EXPECT_EQ(ItemState::Completed, item->state) << c.pathAndQuery;
        EXPECT_STREQ(c.savedName.c_str(), item->fileName) << c.pathAndQuery;
        EXPECT_EQ(Pattern(c.size), ReadWholeFile(host_.folder + c.savedName)) << c.pathAndQuery;
    }
}

// A resume answered 206 without Content-Range: the part cannot be placed, so
// the whole file is asked for again and written from its start.
TEST_F(OddAnswerTest, PartialAnswerWithoutRangeRestartsFromTheStart)
{
    std::string url = ServerUrl("oddrange/part.bin?odd=norange&size=9000");
    if (url.empty()) GTEST_SKIP() << "needs the scripted server";
    std::string partial = host_.folder + "part.bin";
    WriteWholeFile(partial, Pattern(2500) + std::string(100, 'z'));
    Start(true, {{url, 0, 9000, partial}});
    ASSERT_TRUE(RunLoopUntil(
        host_, [&] { return AllEnded(1); }, 30000));
    EXPECT_EQ(ItemState::Completed, Item(0)->state);
    EXPECT_EQ(Pattern(9000), ReadWholeFile(partial));
    EXPECT_NE(std::string::npos, RecordedRequest("oddrange.1").find("\r\nRange: bytes=2600-\r\n"));
    std::string second = RecordedRequest("oddrange.2");
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(std::string::npos, second.find("Range:")) << second;
}

}  // namespace

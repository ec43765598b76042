#include "marrowby/app/list_format.h"

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "marrowby/engine/segment_plan.h"

namespace {

// Input handed out at most `step` bytes at a time, to move the refill points.
struct TextInput {
    std::string text;
    size_t at = 0;
    size_t step = 1 << 20;
};

size_t ReadFromText(void* context, uint8_t* buffer, size_t capacity)
{
    TextInput* in = static_cast<TextInput*>(context);
    size_t n = in->text.size() - in->at;
    if (n > capacity) n = capacity;
    if (n > in->step) n = in->step;
    memcpy(buffer, in->text.data() + in->at, n);
    in->at += n;
    return n;
}

std::vector<std::string> Pieces(const std::string& text, size_t lineSize, size_t step = 1 << 20)
{
    TextInput in;
    in.text = text;
    in.step = step;
    LineSource* source = new LineSource;
    InitLineSource(source, ReadFromText, &in);
    std::vector<std::string> pieces;
    std::vector<char> line(lineSize);
    while (ReadLinePiece(source, line.data(), lineSize)) pieces.push_back(line.data());
    delete source;
    return pieces;
}

int AppendToString(void* context, const uint8_t* data, size_t length)
{
    static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
    return 0;
}

int FailingWrite(void*, const uint8_t*, size_t)
{
    return 1;
}

std::string Written(void (*fill)(ListWriter*))
{
    std::string out;
    ListWriter* writer = new ListWriter;
    InitListWriter(writer, AppendToString, &out);
    fill(writer);
    EXPECT_EQ(0, FlushListWriter(writer));
    delete writer;
    return out;
}

bool LooksLikeList(const std::string& text)
{
    TextInput in;
    in.text = text;
    in.step = 7;
    LineSource* source = new LineSource;
    InitLineSource(source, ReadFromText, &in);
    bool list = LooksLikeListFile(source);
    delete source;
    return list;
}

TEST(ListLines, CrLfAndLfEndBothReadAsLf)
{
    for (size_t step : {size_t(1), size_t(2), size_t(1000)}) {
        std::vector<std::string> p = Pieces("a=1\r\nb=2\nc\rd=3\r\n\r\nlast", kListLineSize, step);
        ASSERT_EQ(5u, p.size()) << step;
        EXPECT_EQ("a=1\n", p[0]);
        EXPECT_EQ("b=2\n", p[1]);
        EXPECT_EQ("c\rd=3\n", p[2]);  // a lone CR does not end the line
        EXPECT_EQ("\n", p[3]);
        EXPECT_EQ("last", p[4]);
    }
}

TEST(ListLines, LongLinesArriveInPiecesOfTheBufferSize)
{
    const size_t piece = kListLineSize - 1;
    std::string longLine(2 * piece + 500, 'x');
    std::vector<std::string> p = Pieces("k=" + longLine + "\r\nUrl=u\r\n", kListLineSize, 777);
    ASSERT_EQ(4u, p.size());
    EXPECT_EQ(piece, p[0].size());
    EXPECT_EQ(piece, p[1].size());
    EXPECT_EQ(longLine.size() + 2 - 2 * piece + 1u, p[2].size());  // rest plus the LF
    EXPECT_EQ("Url=u\n", p[3]);
    std::vector<std::string> u = Pieces(std::string(kUrlListLineSize - 1, 'h') + "tail\n", kUrlListLineSize);
    ASSERT_EQ(2u, u.size());
    EXPECT_EQ(kUrlListLineSize - 1, u[0].size());
    EXPECT_EQ("tail\n", u[1]);
}

// Every text of up to seven letters, CRs and LFs, at small piece sizes and
// with the input arriving a byte, two or all at a time: the pieces are what
// the rule says (CR LF reads as LF, a piece ends after an LF or when full),
// wherever a line end meets a full piece or a refill.
TEST(ListLines, PiecesFollowTheRuleAtEveryBoundary)
{
    const char letters[] = {'a', '\r', '\n'};
    for (int length = 0; length <= 7; ++length) {
        int count = 1;
        for (int i = 0; i < length; ++i) count *= 3;
        for (int code = 0; code < count; ++code) {
            std::string text;
            for (int i = 0, rest = code; i < length; ++i, rest /= 3) text += letters[rest % 3];
            for (size_t capacity : {size_t(2), size_t(3), size_t(4), size_t(8)}) {
                std::vector<std::string> expected;
                std::string piece;
                for (size_t i = 0; i < text.size(); ++i) {
                    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
                    piece += text[i];
                    if (text[i] == '\n' || piece.size() == capacity - 1) {
                        expected.push_back(piece);
                        piece.clear();
                    }
                }
                if (!piece.empty()) expected.push_back(piece);
                for (size_t step : {size_t(1), size_t(2), size_t(64)}) {
                    ASSERT_EQ(expected, Pieces(text, capacity, step)) << capacity << " " << step;
                }
            }
        }
    }
}

TEST(ListLines, EmptyInputGivesNoLine)
{
    EXPECT_TRUE(Pieces("", kListLineSize).empty());
    EXPECT_TRUE(Pieces("\xEF\xBB\xBF", kListLineSize).empty());
}

// A URL list saved by an editor as UTF-8 starts with a byte order mark; it
// must not spoil the first URL. Only the start of the input loses it.
TEST(ListLines, ByteOrderMarkStartsNoLine)
{
    for (size_t step : {size_t(1), size_t(2), size_t(1000)}) {
        std::vector<std::string> p = Pieces("\xEF\xBB\xBFhttp://h/one\r\n\xEF\xBB\xBFx\n", kUrlListLineSize, step);
        ASSERT_EQ(2u, p.size()) << step;
        EXPECT_EQ("http://h/one\n", p[0]);
        EXPECT_EQ("\xEF\xBB\xBFx\n", p[1]);
    }
    EXPECT_EQ(std::vector<std::string>{"\n"}, Pieces("\xEF\xBB\xBF\n", kListLineSize));
    EXPECT_EQ(std::vector<std::string>{"\xEF\xBBx\n"}, Pieces("\xEF\xBBx\n", kListLineSize, 1));
    EXPECT_TRUE(LooksLikeList("\xEF\xBB\xBF; Created by Marrowby/0.23 ( built on Tessaline )\r\n"));
}

TEST(ListSettings, SplitsAtTheFirstEqualsSign)
{
    char line[] = "Url=http://h/p?a=b&c=d\r\n";
    char* key = nullptr;
    char* value = nullptr;
    ASSERT_EQ(0, SplitSetting(line, &key, &value));
    EXPECT_STREQ("Url", key);
    EXPECT_STREQ("http://h/p?a=b&c=d", value);

    char noSetting[] = "; Created by someone\n";
    EXPECT_EQ(1, SplitSetting(noSetting, &key, &value));

    char spaced[] = " StoreIn = C:\\x \n";
    ASSERT_EQ(0, SplitSetting(spaced, &key, &value));
    EXPECT_STREQ(" StoreIn ", key);  // nothing is trimmed
    EXPECT_STREQ(" C:\\x ", value);
}

TEST(ListSettings, KeysMatchRegardlessOfCaseButNotOfSpaces)
{
    EXPECT_EQ(kListKeyUrl, MatchListKey("url"));
    EXPECT_EQ(kListKeyUrl, MatchListKey("URL"));
    EXPECT_EQ(kListKeyUnknown, MatchListKey(" Url"));
    EXPECT_EQ(kListKeyUnknown, MatchListKey("Url "));
    EXPECT_EQ(kListKeyUnknown, MatchListKey("Ur"));
    EXPECT_EQ(kListKeyReferer, MatchListKey("refererstr"));
    EXPECT_EQ(kListKeyStoreIn, MatchListKey("STOREIN"));
    EXPECT_EQ(kListKeyRemoteFileSize, MatchListKey("_remotefilesize"));
    EXPECT_EQ(kListKeyState, MatchListKey("_State"));
    EXPECT_EQ(kListKeyRealFileName, MatchListKey("_REALFILENAME"));
    EXPECT_EQ(kListKeyUnknown, MatchListKey("Comment"));
    EXPECT_EQ(kListKeyUnknown, MatchListKey(""));
}

// Files a person may pick by mistake in the Open dialog are told apart from
// lists, including lists other tools or people wrote.
TEST(ListSettings, ListFilesAreToldFromOtherFiles)
{
    EXPECT_TRUE(LooksLikeList(""));
    EXPECT_TRUE(LooksLikeList("; Created by Marrowby/0.23 ( built on Tessaline )\r\n"));
    EXPECT_TRUE(LooksLikeList("[list]\nNote=x\nurl=http://h/f.zip"));  // LF only, no last LF
    EXPECT_TRUE(LooksLikeList("title\n" + std::string(3000, 'x') + "\n_State=2\n"));
    EXPECT_TRUE(LooksLikeList(std::string("PK\x03\x04\0\0", 6) + "\nStoreIn=C:\\dl\n"));

    EXPECT_FALSE(LooksLikeList("just some notes\nabc\n"));
    EXPECT_FALSE(LooksLikeList("[section]\nname=value\n Url=http://h/\n"));
    EXPECT_FALSE(LooksLikeList("notes\n; Created by someone\n"));  // a header only counts first
    EXPECT_FALSE(LooksLikeList(std::string("PK\x03\x04\0\0=\x1a\xff\n\r", 11)));
    EXPECT_FALSE(LooksLikeList("\n"));
}

TEST(ListSettings, NumbersReadLikeAtoi)
{
    EXPECT_EQ(-1, ParseListNumber("-1"));
    EXPECT_EQ(12345, ParseListNumber(" \t12345"));
    EXPECT_EQ(42, ParseListNumber("+42 bytes"));
    EXPECT_EQ(0, ParseListNumber("unknown"));
    EXPECT_EQ(0, ParseListNumber(""));
    EXPECT_EQ(0, ParseListNumber("- 5"));
    EXPECT_EQ(2147483647, ParseListNumber("2147483647"));
    // 64-bit sizes; only values beyond 64 bits are clamped.
    EXPECT_EQ(INT64_C(2147483648), ParseListNumber("2147483648"));
    EXPECT_EQ(INT64_C(4294967296), ParseListNumber("4294967296"));
    EXPECT_EQ(INT64_C(5000000000), ParseListNumber("5000000000"));
    EXPECT_EQ(INT64_C(-99999999999), ParseListNumber("-99999999999"));
    EXPECT_EQ(INT64_MAX, ParseListNumber("9223372036854775807"));
    EXPECT_EQ(INT64_MAX, ParseListNumber("99999999999999999999"));
    EXPECT_EQ(INT64_MIN, ParseListNumber("-99999999999999999999"));
}

TEST(ListSettings, StatesOtherThanCompletedAndPausedAreWaiting)
{
    EXPECT_EQ(1, ParseListState("1"));
    EXPECT_EQ(2, ParseListState("2"));
    EXPECT_EQ(0, ParseListState("3"));
    EXPECT_EQ(0, ParseListState(""));
    EXPECT_EQ(0, ParseListState("-1"));
    EXPECT_EQ(0, ParseListState("x"));
}

TEST(ListSettings, BaseNameStepsOverDoubleByteCharacters)
{
    EXPECT_STREQ("a.zip", ListBaseName("C:\\dl\\a.zip"));
    EXPECT_STREQ("b.bin", ListBaseName("C:/x/b.bin"));
    EXPECT_STREQ("c", ListBaseName("D:c"));
    EXPECT_STREQ("plain.txt", ListBaseName("plain.txt"));
    EXPECT_STREQ("", ListBaseName("C:\\dir\\"));
    // 0x95 0x5C and 0x83 0x5C are characters whose second byte is a backslash.
    EXPECT_STREQ("\x83\x5C.txt", ListBaseName("C:\\\x95\x5C\\\x83\x5C.txt"));
    EXPECT_STREQ("\x95\x5C", ListBaseName("C:\\\x95\x5C"));
}

TEST(ListWriting, HeaderAndRecordLayoutByteForByte)
{
    std::string out = Written([](ListWriter* w) {
        WriteListHeader(w, "Marrowby/0.23 ( built on Tessaline )");
        ListRecordOut r = {"", "C:\\dl\\", 0, 0, "", "", "http://h/f.zip", nullptr, "", 0, nullptr};
        WriteListRecord(w, r);
    });
    EXPECT_EQ(
        "; Created by Marrowby/0.23 ( built on Tessaline )\r\n"
        ";\r\n"
        "RefererStr=\r\n"
        "StoreIn=C:\\dl\\\r\n"
        "_RemoteFileSize=-1\r\n"
        "_State=0\r\n"
        "Url=http://h/f.zip\r\n",
        out);
}

TEST(ListWriting, SizeStateAndRealFileNameLines)
{
    std::string out = Written([](ListWriter* w) {
        ListRecordOut a = {"http://ref/",    "C:\\dl",   123456, 1, "C:\\dl\\", "a.zip",
                           "http://h/a.zip", "md5:00ff", "",     0, nullptr};
        ListRecordOut b = {"", "", -1, 2, "", "b.bin", "http://h/b.bin", "", "", 0, nullptr};
        ListRecordOut c = {"", "", INT32_MIN, 4, "", "", "u", nullptr, "", 0, nullptr};
        WriteListRecord(w, a);
        WriteListRecord(w, b);
        WriteListRecord(w, c);
    });
    EXPECT_EQ(
        ";\r\nRefererStr=http://ref/\r\nStoreIn=C:\\dl\r\n_RemoteFileSize=123456\r\n"
        "_State=1\r\n_RealFileName=C:\\dl\\a.zip\r\n_Checksum=md5:00ff\r\nUrl=http://h/a.zip\r\n"
        ";\r\nRefererStr=\r\nStoreIn=\r\n_RemoteFileSize=-1\r\n_State=2\r\n"
        "_RealFileName=b.bin\r\nUrl=http://h/b.bin\r\n"
        ";\r\nRefererStr=\r\nStoreIn=\r\n_RemoteFileSize=-2147483648\r\n_State=0\r\nUrl=u\r\n",
        out);
}

// The server's ETag and Last-Modified travel in keys of their own, after the
// file name and before "Url", and only when the server sent them.
TEST(ListWriting, ValidatorLinesWhenKnown)
{
    std::string out = Written([](ListWriter* w) {
        ListRecordOut a = {"", "", 9, 2, "", "a.zip", "http://h/a.zip", nullptr, "\"5f3-1a\"", 1700000000, nullptr};
        ListRecordOut b = {"", "", 9, 2, "", "", "http://h/b.zip", nullptr, "W/\"x\"", 0, nullptr};
        WriteListRecord(w, a);
        WriteListRecord(w, b);
    });
    EXPECT_EQ(
        ";\r\nRefererStr=\r\nStoreIn=\r\n_RemoteFileSize=9\r\n_State=2\r\n_RealFileName=a.zip\r\n"
        "_ETag=\"5f3-1a\"\r\n_LastModified=1700000000\r\nUrl=http://h/a.zip\r\n"
        ";\r\nRefererStr=\r\nStoreIn=\r\n_RemoteFileSize=9\r\n_State=2\r\n_ETag=W/\"x\"\r\nUrl=http://h/b.zip\r\n",
        out);
    EXPECT_EQ(kListKeyEntityTag, MatchListKey("_etag"));
    EXPECT_EQ(kListKeyLastModified, MatchListKey("_LASTMODIFIED"));
}

// Sizes beyond 32 bits are written as 64-bit decimals under the same key and
// read back to the same number.
TEST(ListWriting, SixtyFourBitSizesRoundTrip)
{
    std::string out = Written([](ListWriter* w) {
        for (int64_t size : {INT64_C(2147483648), INT64_C(4294967296), INT64_C(5000000000), INT64_MAX, INT64_MIN}) {
            ListRecordOut r = {"", "", size, 0, "", "", "http://h/f.iso", nullptr, "", 0, nullptr};
            WriteListRecord(w, r);
        }
    });
    std::vector<int64_t> sizes;
    std::vector<std::string> texts;
    for (std::string& line : Pieces(out, kListLineSize)) {
        char* key = nullptr;
        char* value = nullptr;
        if (SplitSetting(&line[0], &key, &value) != 0 || MatchListKey(key) != kListKeyRemoteFileSize) continue;
        texts.push_back(value);
        sizes.push_back(ParseListNumber(value));
    }
    EXPECT_EQ((std::vector<std::string>{"2147483648", "4294967296", "5000000000", "9223372036854775807",
                                        "-9223372036854775808"}),
              texts);
    EXPECT_EQ(
        (std::vector<int64_t>{INT64_C(2147483648), INT64_C(4294967296), INT64_C(5000000000), INT64_MAX, INT64_MIN}),
        sizes);
}

TEST(ListWriting, OutputLargerThanTheBufferStaysInOrder)
{
    std::string out = Written([](ListWriter* w) {
        for (int i = 0; i < 3000; ++i) {
            std::string url = "http://h/" + std::to_string(i);
            ListRecordOut r = {"", "", i + 1, 0, "", "", url.c_str(), nullptr, "", 0, nullptr};
            WriteListRecord(w, r);
        }
    });
    EXPECT_GT(out.size(), sizeof(ListWriter::buffer));
    std::vector<std::string> lines = Pieces(out, kListLineSize);
    ASSERT_EQ(3000u * 6u, lines.size());
    EXPECT_EQ("_RemoteFileSize=1501\n", lines[1500 * 6 + 3]);
    EXPECT_EQ("Url=http://h/2999\n", lines.back());
}

TEST(ListWriting, AFailedWriteIsReported)
{
    ListWriter* w = new ListWriter;
    InitListWriter(w, FailingWrite, nullptr);
    WriteListHeader(w, "p");
    EXPECT_EQ(1, FlushListWriter(w));
    EXPECT_TRUE(w->failed);
    WriteListHeader(w, "p");
    EXPECT_EQ(1, FlushListWriter(w));  // stays failed
    delete w;
}

}  // namespace

namespace {

// A segmented download's progress and its own speed limit travel after the
// file name; read back by the keys, the segments give the bytes present,
// while a reader that ignores them only sees "_RealFileName" and resumes
// from what the file holds, as before.
TEST(ListWriting, SegmentAndSpeedLimitLinesRoundTrip)
{
    SegmentPlan plan;
    PlanSegments(plan, 8 << 20, 0, 4);
    int64_t first = 0;
    int64_t end = 0;
    for (int32_t c = 0; c < 4; ++c) TakeSegmentWork(plan, c, first, end);
    for (int32_t c = 0; c < 4; ++c) ConfirmSegmentBytes(plan, c, ClaimSegmentBytes(plan, c, (c + 1) * 1000));
    static char text[kSegmentPlanTextMax];
    ASSERT_TRUE(FormatSegmentPlan(plan, text, sizeof text));

    std::string out = Written([](ListWriter* w) {
        ListRecordOut a = {"",      "", 8 << 20, 0,       "C:\\dl\\", "a.iso", "http://h/a.iso",
                           nullptr, "", 0,       nullptr, text,       2000};
        ListRecordOut b = {"", "", 9, 0, "", "b.iso", "http://h/b.iso", nullptr, "", 0, nullptr, "", 0};
        WriteListRecord(w, a);
        WriteListRecord(w, b);
    });
    EXPECT_EQ(
        ";\r\nRefererStr=\r\nStoreIn=\r\n_RemoteFileSize=8388608\r\n_State=0\r\n_RealFileName=C:\\dl\\a.iso\r\n"
        "_Segments=" +
            std::string(text) +
            "\r\n_SpeedLimit=2000\r\nUrl=http://h/a.iso\r\n"
            ";\r\nRefererStr=\r\nStoreIn=\r\n_RemoteFileSize=9\r\n_State=0\r\n_RealFileName=b.iso\r\n"
            "Url=http://h/b.iso\r\n",
        out);

    std::vector<ListKey> keys;
    SegmentPlan back;
    for (std::string& line : Pieces(out, kListLineSize)) {
        char* key = nullptr;
        char* value = nullptr;
        if (SplitSetting(&line[0], &key, &value) != 0) continue;
        keys.push_back(MatchListKey(key));
        if (keys.back() == kListKeySegments) {
            ASSERT_TRUE(ParseSegmentPlan(value, 8 << 20, back));
            EXPECT_EQ(10000, WrittenBytes(back));
            // What a reader knowing nothing of segments may trust.
            EXPECT_EQ(1000, ContiguousPrefix(back));
        }
        if (keys.back() == kListKeySpeedLimit) {
            EXPECT_EQ(2000, ParseListNumber(value));
        }
    }
    EXPECT_EQ(2, std::count(keys.begin(), keys.end(), kListKeyUrl));
    EXPECT_EQ(1, std::count(keys.begin(), keys.end(), kListKeySegments));
    EXPECT_EQ(kListKeySegments, MatchListKey("_SEGMENTS"));
    EXPECT_EQ(kListKeySpeedLimit, MatchListKey("_speedlimit"));
    EXPECT_EQ(kListKeyUnknown, MatchListKey(" _Segments"));
}

}  // namespace

#include "common/safe_file_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "marrowby/engine/http_result.h"
#include "common/sjis.h"
#include "response_test_support.h"

namespace {

constexpr size_t kCapacity = 65;

std::string Safe(const char* received, size_t capacity = kCapacity)
{
    char out[512];
    std::memset(out, 'Z', sizeof out);
    EXPECT_LE(capacity, sizeof out);
    SafeLocalFileName(received, out, capacity);
    const void* end = std::memchr(out, '\0', capacity);
    EXPECT_NE(nullptr, end) << "not terminated within capacity";
    return end == nullptr ? std::string() : std::string(out);
}

int Changed(const char* received)
{
    char out[kCapacity];
    return SafeLocalFileName(received, out, sizeof out);
}

// No byte outside a double-byte character is a separator or otherwise
// forbidden, and every lead byte has a valid trail byte.
void ExpectSafe(const std::string& name)
{
    ASSERT_FALSE(name.empty());
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (IsSjisLeadByte(c)) {
            ASSERT_LT(i + 1, name.size()) << "dangling lead byte";
            const unsigned char t = static_cast<unsigned char>(name[i + 1]);
            ASSERT_TRUE(IsSjisTrailByte(t));
            ++i;
            continue;
        }
        ASSERT_GE(c, 0x20);
        ASSERT_NE(0x7F, c);
        ASSERT_EQ(nullptr, std::strchr("<>:\"/\\|?*", c)) << name;
    }
    EXPECT_NE('.', name.back());
    EXPECT_NE(' ', name.back());
}

TEST(SafeLocalFileName, OrdinaryNamesStayAsTheyAre)
{
    for (const char* name : {"a.zip", "setup 1.0.exe", ".htaccess", "a..b", "CONFIG.SYS", "COM10", "LPT0.txt", "nul1",
                             "file;v=1", "\xb1\xb2.txt", "\x93\xfa\x96\x7b\x8c\xea.txt"}) {
        EXPECT_EQ(name, Safe(name));
        EXPECT_EQ(0, Changed(name)) << name;
    }
}

TEST(SafeLocalFileName, FolderPartIsDropped)
{
    EXPECT_EQ("x.exe", Safe("..\\..\\Startup\\x.exe"));
    EXPECT_EQ("passwd", Safe("/etc/passwd"));
    EXPECT_EQ("evil.exe", Safe("C:evil.exe"));
    EXPECT_EQ("y.exe", Safe("C:/x/../y.exe"));
    EXPECT_EQ("x", Safe("\"..\\x\""));
    EXPECT_EQ("$DATA", Safe("a.txt::$DATA"));
    EXPECT_EQ("index.html", Safe("dir/"));
    EXPECT_EQ("index.html", Safe("\\\\server\\share\\"));
    EXPECT_EQ(1, Changed("/etc/passwd"));
}

TEST(SafeLocalFileName, DotNamesAndTrailingDotsAndSpaces)
{
    EXPECT_EQ("index.html", Safe("."));
    EXPECT_EQ("index.html", Safe(".."));
    EXPECT_EQ("index.html", Safe("..."));
    EXPECT_EQ("index.html", Safe(" . "));
    EXPECT_EQ("index.html", Safe("a/.."));
    EXPECT_EQ("a.exe", Safe("a.exe. . "));
    EXPECT_EQ("report", Safe("report."));
    EXPECT_EQ(1, Changed("report."));
}

TEST(SafeLocalFileName, EmptyMeansIndexHtml)
{
    EXPECT_EQ("index.html", Safe(""));
    EXPECT_EQ("index.html", Safe(nullptr));
    EXPECT_EQ("index.html", Safe("\"\""));
    EXPECT_EQ("index.html", Safe("   "));
    EXPECT_EQ(1, Changed(""));
    // Even the fallback is cut to the capacity.
    EXPECT_EQ("inde", Safe("", 5));
}

TEST(SafeLocalFileName, QuotationMarksAreRemoved)
{
    EXPECT_EQ("a b.zip", Safe("\"a b.zip\""));
    EXPECT_EQ("x.zip", Safe("\"x.zip\"; size=3"));
    EXPECT_EQ("x.zip", Safe("  \"x.zip\""));
    EXPECT_EQ("open.zip", Safe("\"open.zip"));  // no closing mark: the rest
    EXPECT_EQ("x.zip", Safe("\"dir\\x.zip\""));
    // A mark that does not open the value is an ordinary forbidden character.
    EXPECT_EQ("a_b_.zip", Safe("a\"b\".zip"));
    // A double-byte character ending in 0x5C right before the closing mark.
    EXPECT_EQ("\x95\x5C", Safe("\"\x95\x5C\"; size=3"));
}

TEST(SafeLocalFileName, ForbiddenCharactersBecomeUnderscores)
{
    EXPECT_EQ("a_b_c_d_e_f_g.txt", Safe("a<b>c|d?e*f\"g.txt"));
    EXPECT_EQ("a_b_c", Safe("a\tb\x01"
                            "c"));
    EXPECT_EQ("a_b", Safe("a\x7f"
                          "b"));
    EXPECT_EQ("x__y", Safe("x\r\ny"));
    EXPECT_EQ(1, Changed("a|b"));
}

TEST(SafeLocalFileName, ShiftJisTrailByteIsNotASeparator)
{
    // 0x95 0x5C and 0x83 0x5C are characters whose second byte is a backslash.
    EXPECT_EQ("\x95\x5C.txt", Safe("\x95\x5C.txt"));
    EXPECT_EQ(0, Changed("\x95\x5C.txt"));
    EXPECT_EQ("\x83\x5C\x83\x74\x83\x67.exe", Safe("\x83\x5C\x83\x74\x83\x67.exe"));
    EXPECT_EQ("\x95\x5C", Safe("dir\\\x95\x5C"));
    EXPECT_EQ("\x95\x5C\x81\x5C.zip", Safe("a\\\x95\x5C\x81\x5C.zip"));
    // A trail byte 0x7C is not a vertical bar either.
    EXPECT_EQ("\x81\x7C", Safe("\x81\x7C"));
}

TEST(SafeLocalFileName, LeadByteWithoutTrailByte)
{
    // Dangling at the very end: not written as it stands.
    EXPECT_EQ("a_", Safe("a\x95"));
    EXPECT_EQ("_", Safe("\xE0"));
    // A following byte that cannot be a trail byte is read on its own, so a
    // separator after a lone lead byte still separates.
    EXPECT_EQ("x.exe", Safe("\x95/x.exe"));
    EXPECT_EQ("x.exe", Safe("\x95:x.exe"));
    // 0x5C after a lead byte is its trail byte, not a separator.
    EXPECT_EQ("\x95\\x.exe", Safe("\x95\\x.exe"));
    EXPECT_EQ("_ a", Safe("\x95 a"));
    EXPECT_EQ("__", Safe("\x95\x01"));
}

TEST(SafeLocalFileName, DeviceNamesGetAPrefix)
{
    for (const char* name : {"CON", "con", "PRN", "AUX", "NUL", "COM1", "com9", "LPT1", "LPT9", "CONIN$", "CONOUT$"}) {
        EXPECT_EQ(std::string("_") + name, Safe(name));
    }
    EXPECT_EQ("_nul.txt", Safe("nul.txt"));
    EXPECT_EQ("_AUX.tar.gz", Safe("AUX.tar.gz"));
    EXPECT_EQ("_CON", Safe("CON."));  // the dot goes first, then the name is a device
    EXPECT_EQ("_CON .txt", Safe("CON .txt"));
    EXPECT_EQ("_LPT1", Safe("c:\\dir\\LPT1"));
    EXPECT_EQ("_COM1", Safe("\"COM1\""));
    EXPECT_EQ(1, Changed("CON"));
    // A cut that happens to leave a device name is caught as well.
    EXPECT_EQ("_CO", Safe("CONSOLE", 4));
    EXPECT_EQ("CO", Safe("CON", 3));
}

TEST(SafeLocalFileName, CutToCapacityBetweenCharacters)
{
    const std::string longName(1000, 'n');
    EXPECT_EQ(std::string(64, 'n'), Safe(longName.c_str()));
    EXPECT_EQ(std::string(9, 'n'), Safe(longName.c_str(), 10));
    EXPECT_EQ("n", Safe(longName.c_str(), 2));
    EXPECT_EQ("", Safe(longName.c_str(), 1));
    // Never longer than a name Windows can hold, whatever the capacity.
    EXPECT_EQ(kLocalFileNameMax, Safe(longName.c_str(), 512).size());

    // "a" then double-byte characters: a cut never leaves half of one.
    std::string kanji = "a";
    for (int i = 0; i < 40; ++i) kanji += "\x95\x5C";
    EXPECT_EQ(kanji.substr(0, 63), Safe(kanji.c_str()));  // 64 would split a pair
    EXPECT_EQ("a\x95\x5C", Safe(kanji.c_str(), 5));
    EXPECT_EQ("a", Safe(kanji.c_str(), 3));
    // A cut that leaves trailing dots or spaces removes them.
    EXPECT_EQ("ab", Safe("ab. .cd", 6));
}

TEST(SafeLocalFileName, NothingWrittenWithoutRoom)
{
    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(2, SafeLocalFileName("a.zip", out, 0));
    EXPECT_EQ('x', out[0]);
    EXPECT_EQ(2, SafeLocalFileName("a.zip", nullptr, 10));
    EXPECT_EQ(1, SafeLocalFileName("a.zip", out, 1));
    EXPECT_EQ('\0', out[0]);
}

// Whatever arrives, the result is a safe, non-empty name.
TEST(SafeLocalFileName, HostileValuesGiveSafeNames)
{
    const char* hostile[] = {
        "..\\..\\Startup\\x.exe",
        "/etc/passwd",
        "C:evil.exe",
        "\"..\\x\"",
        "\"..\\..\\\"",
        "\\\\?\\C:\\x",
        "x.exe:Zone.Identifier",
        "\x95",
        "\x95\\",
        "\\\x95",
        "\"\x95\"",
        "a\x81\"b",
        " \" ",
        "\"\"\"",
        "<>",
        "..\\",
        "\x81\x81\x81\x81",
        "\xFC\xFC\xFC",
        "CON\\..",
        "\xFF\xFE\xFD.\x80",
    };
    for (const char* name : hostile) {
        SCOPED_TRACE(name);
        ExpectSafe(Safe(name));
        ExpectSafe(Safe(name, 4));
    }
    // Every single byte, alone and between letters.
    for (int c = 1; c < 256; ++c) {
        const char alone[2] = {static_cast<char>(c), '\0'};
        const char between[4] = {'a', static_cast<char>(c), 'b', '\0'};
        SCOPED_TRACE(c);
        ExpectSafe(Safe(alone));
        ExpectSafe(Safe(between));
    }
}

// The raw name kept by the response reader becomes a safe local name.
TEST(SafeLocalFileName, FromResponseHeaders)
{
    const std::string response =
        "HTTP/1.0 200 OK\r\n"
        "Content-Disposition: attachment; filename=\"..\\..\\Startup\\\x95\x5C.exe\"; size=3\r\n"
        "\r\n";
    auto exchange = NewExchange();
    FeedLog log;
    ASSERT_EQ(kFeedHeadersComplete, FeedChunk(*exchange, response, log));
    char local[sizeof exchange->response.fileName];
    EXPECT_EQ(1, SafeLocalFileName(exchange->response.fileName, local, sizeof local));
    EXPECT_STREQ("\x95\x5C.exe", local);

    auto redirected = NewExchange();
    FeedLog again;
    ASSERT_EQ(kFeedHeadersComplete,
              FeedChunk(*redirected, "HTTP/1.0 302 Found\r\nLocation: http://h/a\\b\\CON.zip\r\n\r\n", again));
    EXPECT_EQ(1, SafeLocalFileName(redirected->response.fileName, local, sizeof local));
    EXPECT_STREQ("_CON.zip", local);
}

}  // namespace

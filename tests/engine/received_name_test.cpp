// Names from the address and from Content-Disposition, decoded as a browser
// decodes them, and the numbered names that keep downloads apart.
#include "marrowby/engine/received_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string FromPath(const char* path, NameCharset expected)
{
    char out[kReceivedNameMax + 1];
    EXPECT_EQ(expected, NameFromUrlPath(path, out, sizeof out)) << path;
    return out;
}

std::string FromDisposition(const char* value, NameCharset expected)
{
    char out[kReceivedNameMax + 1] = "unchanged";
    NameCharset charset = kNameCodePage;
    if (NameFromDisposition(value, out, sizeof out, charset) != 0) return "(none) " + std::string(out);
    EXPECT_EQ(expected, charset) << value;
    return out;
}

// The Windows code page 28591 (ISO-8859-1): a real conversion whose
// representable set is small enough to reach both outcomes here.
bool Utf8ToLatin1(const char* utf8, size_t length, char* out, size_t capacity)
{
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        unsigned int code = c;
        if (c >= 0x80) {
            if ((c & 0xE0) != 0xC0 || i + 1 >= length) return false;
            code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3Fu);
        }
        if (code > 0xFF || n + 1 >= capacity) return false;
        out[n++] = static_cast<char>(code);
    }
    out[n] = '\0';
    return true;
}

std::string InCodePage(const std::string& name, NameCharset charset, Utf8ToCodePageFn convert)
{
    char out[kReceivedNameMax + 1];
    NameInCodePage(name.c_str(), charset, convert, out, sizeof out);
    return out;
}

std::string Numbered(const char* name, int32_t n, size_t maxLength = 255)
{
    char out[300];
    NumberedFileName(name, n, out, sizeof out, maxLength);
    return out;
}

TEST(ReceivedName, FromTheAddressIsDecoded)
{
    EXPECT_EQ("my file.zip", FromPath("/dl/my%20file.zip", kNameCodePage));
    EXPECT_EQ("a+b.zip", FromPath("/a%2Bb.zip?name=x%20y#top", kNameCodePage));
    EXPECT_EQ("\xE6\x97\xA5\xE6\x9C\xAC.txt", FromPath("/%E6%97%A5%e6%9c%ac.txt", kNameUtf8));
    // Escaped Shift-JIS (older servers) is not UTF-8: its bytes stand.
    EXPECT_EQ("\x93\xFA.txt", FromPath("/%93%FA.txt", kNameCodePage));
    // Not escapes: a lone "%", too few or no hex digits.
    EXPECT_EQ("100%.txt", FromPath("/100%.txt", kNameCodePage));
    EXPECT_EQ("a%zz%4", FromPath("/a%zz%4", kNameCodePage));
    EXPECT_EQ("", FromPath("/dir/", kNameCodePage));
    // An escaped separator is decoded here; the safe name drops what is before it.
    EXPECT_EQ("..\\x.bin", FromPath("/d/..%5Cx.bin", kNameCodePage));
    // Overlong forms and surrogates are not UTF-8.
    EXPECT_EQ("\xC0\xAF", FromPath("/%C0%AF", kNameCodePage));
    EXPECT_EQ("\xED\xA0\x80", FromPath("/%ED%A0%80", kNameCodePage));
}

TEST(ReceivedName, ExtendedDispositionNameWinsInBothCharsets)
{
    // filename*= is preferred wherever it stands.
    EXPECT_EQ("\xE6\x97\xA5.pdf",
              FromDisposition("attachment; filename=\"fallback.pdf\"; filename*=UTF-8''%E6%97%A5.pdf", kNameUtf8));
    EXPECT_EQ("\xE6\x97\xA5.pdf",
              FromDisposition("attachment; filename*=utf-8'ja'%E6%97%A5.pdf; filename=fallback.pdf", kNameUtf8));
    // ISO-8859-1 becomes UTF-8: e acute is U+00E9.
    EXPECT_EQ("caf\xC3\xA9 menu.txt",
              FromDisposition("attachment; filename*=ISO-8859-1'en'caf%E9%20menu.txt", kNameUtf8));
    EXPECT_EQ("plain.txt", FromDisposition("attachment; filename*=iso-8859-1''plain.txt", kNameCodePage));
    // A charset not understood, or bytes that are not UTF-8, leave filename=.
    EXPECT_EQ("fallback.pdf",
              FromDisposition("attachment; filename*=Shift_JIS''%93%FA.pdf; filename=fallback.pdf", kNameCodePage));
    EXPECT_EQ("fallback.pdf",
              FromDisposition("attachment; filename*=UTF-8''%93%FA.pdf; filename=fallback.pdf", kNameCodePage));
    EXPECT_EQ("(none) unchanged", FromDisposition("attachment; filename*=UTF-8''%93%FA.pdf", kNameCodePage));
    // Shown inline or saved, the file has the name the server gives it.
    EXPECT_EQ("a.pdf", FromDisposition("inline; filename*=UTF-8''a.pdf", kNameCodePage));
    // An empty name names nothing, and an empty extended one leaves filename=.
    EXPECT_EQ("(none) unchanged", FromDisposition("attachment; filename=\"\"", kNameCodePage));
    EXPECT_EQ("(none) unchanged", FromDisposition("attachment; filename*=UTF-8''", kNameCodePage));
    EXPECT_EQ("b.pdf", FromDisposition("attachment; filename*=UTF-8''; filename=b.pdf", kNameCodePage));
}

TEST(ReceivedName, PlainDispositionNameIsUnquotedAndDecoded)
{
    EXPECT_EQ("say \"hi\" \\ there.txt",
              FromDisposition("attachment; filename=\"say \\\"hi\\\" \\\\ there.txt\"", kNameCodePage));
    EXPECT_EQ("my file.zip", FromDisposition("attachment; filename=my%20file.zip; size=3", kNameCodePage));
    // Raw UTF-8 is recognised; raw Shift-JIS stays, even a character whose
    // second byte is a backslash right before the closing mark.
    EXPECT_EQ("\xE6\x97\xA5.zip", FromDisposition("attachment; filename=\"\xE6\x97\xA5.zip\"", kNameUtf8));
    EXPECT_EQ("a\x95\x5C", FromDisposition("attachment; filename=\"a\x95\x5C\"; x=1", kNameCodePage));
    // A Windows path keeps its backslashes; only \" and \\ are escapes.
    EXPECT_EQ("..\\..\\evil.exe", FromDisposition("attachment; filename=\"..\\..\\evil.exe\"", kNameCodePage));
}

TEST(ReceivedName, CodePageTextOrTheEscapedForm)
{
    // Representable: converted. Not representable: every byte beyond ASCII
    // escaped, so the name is still ASCII and safe.
    EXPECT_EQ("caf\xE9.txt", InCodePage("caf\xC3\xA9.txt", kNameUtf8, Utf8ToLatin1));
    EXPECT_EQ("%E6%97%A5 caf%C3%A9.txt", InCodePage("\xE6\x97\xA5 caf\xC3\xA9.txt", kNameUtf8, Utf8ToLatin1));
    EXPECT_EQ("caf%C3%A9.txt", InCodePage("caf\xC3\xA9.txt", kNameUtf8, nullptr));
    // Code page text is never converted.
    EXPECT_EQ("\x93\xFA.txt", InCodePage("\x93\xFA.txt", kNameCodePage, Utf8ToLatin1));
    // The escaped form is cut between escapes.
    char small[8];
    NameInCodePage("ab\xE6\x97\xA5", kNameUtf8, nullptr, small, sizeof small);
    EXPECT_STREQ("ab%E6", small);
}

TEST(ReceivedName, NumberedVariants)
{
    EXPECT_EQ("name (2).ext", Numbered("name.ext", 2));
    EXPECT_EQ("name (10).ext", Numbered("name.ext", 10));
    EXPECT_EQ("README (3)", Numbered("README", 3));
    EXPECT_EQ(".bashrc (2)", Numbered(".bashrc", 2));
    EXPECT_EQ("a.tar (2).gz", Numbered("a.tar.gz", 2));
    // Cut to the limit in the base, between characters; the extension stays.
    EXPECT_EQ("abc (12).zip", Numbered("abcdefgh.zip", 12, 12));
    EXPECT_EQ("a (2).zip", Numbered("a\x95\x5C\x95\x5C.zip", 2, 10));
    EXPECT_EQ("a\x95\x5C (2).zip", Numbered("a\x95\x5C\x95\x5C.zip", 2, 11));
}

TEST(ReceivedName, LetterCaseDoesNotMakeAnotherFile)
{
    EXPECT_TRUE(SameFileName("C:\\DL\\Setup.EXE", "c:\\dl\\setup.exe"));
    EXPECT_FALSE(SameFileName("setup.exe", "setup.ex"));
    // 0x83 0x41 and 0x83 0x61 are two katakana, not one letter in two cases.
    EXPECT_FALSE(SameFileName("\x83\x41.txt", "\x83\x61.txt"));
    EXPECT_TRUE(SameFileName("\x83\x41.TXT", "\x83\x41.txt"));
}

}  // namespace

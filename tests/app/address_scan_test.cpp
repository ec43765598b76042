#include "marrowby/app/address_scan.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Addresses(const std::string& text)
{
    std::vector<std::string> found;
    size_t start = 0;
    size_t count = 0;
    for (size_t from = 0; NextAddress(text.data(), text.size(), from, &start, &count); from = start + count) {
        EXPECT_GE(start, from);
        EXPECT_LE(start + count, text.size());
        found.push_back(text.substr(start, count));
    }
    return found;
}

// Text as people copy it from chats, mails and web pages (the Japanese
// words in the ANSI code page 932): words and brackets around an address,
// two on a line, a note after a tab, line ends of every kind.
TEST(AddressScan, FindsEveryAddressInCopiedText)
{
    const std::string download = "\x83_\x83\x45\x83\x93\x83\x8d\x81[\x83h";  // "download" in Japanese
    const std::string open = "\x81u", close = "\x81v";                       // corner brackets
    const std::string see = "\x82\xf0\x8e\x51\x8f\xc6";                      // "see ..." after an address
    const std::string text = download + ": http://h/1.zip\r\n" + "http://h/2.zip\t(2KB)\n" +
                             "  \thttp://h/3.zip  \r\n" + open + "http://h/4.zip" + close + "\n" +
                             "<http://h/5.zip>\n" + "http://h/6.zip http://h/7.zip\r" + "HTTPS://h/8.zip" + see + "\n" +
                             "(see http://h/9.zip).\n" + "\"http://h/10.zip\", 'http://h/11.zip'\n" +
                             "ftp://h/no.zip mailto:x@h http:// https://\n" + "http://h/12.zip?next=http://h/13.zip";
    std::vector<std::string> expected;
    for (int i = 1; i <= 11; ++i)
        expected.push_back(std::string(i == 8 ? "HTTPS" : "http") + "://h/" + std::to_string(i) + ".zip");
    expected.push_back("http://h/12.zip?next=http://h/13.zip");
    EXPECT_EQ(expected, Addresses(text));
}

// What belongs to an address stays with it: brackets it opens itself, an
// IPv6 host, a query ending in punctuation that has more after it.
TEST(AddressScan, KeepsWhatBelongsToTheAddress)
{
    EXPECT_EQ(std::vector<std::string>{"http://h/wiki/A_(b)"}, Addresses("(http://h/wiki/A_(b))"));
    EXPECT_EQ(std::vector<std::string>{"http://[::1]:8080/f.bin"}, Addresses("[http://[::1]:8080/f.bin]"));
    EXPECT_EQ(std::vector<std::string>{"https://h/a?x=1;y=2!z"}, Addresses("https://h/a?x=1;y=2!z..."));
    EXPECT_EQ(std::vector<std::string>{"http://h/f.bin#p"}, Addresses("http://h/f.bin#p"));
    EXPECT_TRUE(Addresses("").empty());
    EXPECT_TRUE(Addresses("no address here, only http:/ and https:").empty());
    EXPECT_TRUE(Addresses("http://.").empty());
    // The length given ends the text, wherever its NUL is.
    size_t start = 0, count = 0;
    ASSERT_TRUE(NextAddress("xx http://h/abc", 13, 0, &start, &count));
    EXPECT_EQ(3u, start);
    EXPECT_EQ(10u, count);
    EXPECT_FALSE(NextAddress("http://h/", 9, 1, &start, &count));
}

}  // namespace

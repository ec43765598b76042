// Long addresses are kept whole up to the limit and refused beyond it, and
// names cut to their field keep their extension.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "marrowby/engine/http_result.h"
#include "marrowby/engine/name_cut.h"
#include "marrowby/engine/request.h"
#include "marrowby/engine/url.h"
#include "response_test_support.h"

namespace {

// A signed-looking link of exactly length bytes, its signature at the end.
std::string SignedUrl(size_t length)
{
    std::string head = "http://cdn.example.com/files/big.zip?expires=1999999999&token=";
    std::string tail = "&sig=END";
    return head + std::string(length - head.size() - tail.size(), 'q') + tail;
}

TEST(LongAddress, UrlUpToTheLimitIsKeptWholeAndLongerRefused)
{
    auto parts = std::make_unique<UrlParts>();
    ResetUrl(*parts);
    const std::string url = SignedUrl(kUrlTextMax);
    ASSERT_EQ(0, ParseUrl(url.c_str(), nullptr, *parts));
    EXPECT_EQ(url.substr(std::strlen("http://cdn.example.com")), parts->path);
    EXPECT_STREQ("big.zip", parts->fileName);

    const std::string longer = SignedUrl(kUrlTextMax + 1);
    EXPECT_EQ(kUrlTooLong, ParseUrl(longer.c_str(), nullptr, *parts));
    EXPECT_EQ(url.substr(std::strlen("http://cdn.example.com")), parts->path);  // unchanged

    // A relative reference whose result would pass the limit is refused too.
    std::string reference = std::string(kUrlTextMax - 5, 'r');  // "/files/" comes before it
    EXPECT_EQ(kUrlTooLong, ParseUrl(nullptr, reference.c_str(), *parts));
    EXPECT_EQ(0, ParseUrl(nullptr, reference.substr(0, 100).c_str(), *parts));
    EXPECT_EQ("/files/" + reference.substr(0, 100), parts->path);
}

TEST(LongAddress, RequestLineAndLocationCarryTheWholeUrl)
{
    auto exchange = NewExchange(SignedUrl(4000).c_str());
    std::string buffer(12288, '\0');
    size_t length = 0;
    ASSERT_EQ(kHttpOk, ComposeRequest(*exchange, &buffer[0], buffer.size(), length));
    const std::string request = buffer.substr(0, length);
    const std::string url = SignedUrl(4000);
    EXPECT_EQ(0u, request.find("GET " + url.substr(std::strlen("http://cdn.example.com")) + " HTTP/1.0\r\n"))
        << request.substr(0, 80);

    // A 302 to a 6,000-byte link moves there whole; one past the limit fails.
    const std::string target = SignedUrl(6000);
    FeedLog log;
    FeedChunk(*exchange, "HTTP/1.1 302 Found\r\nLocation: " + target + "\r\n\r\n", log);
    EXPECT_EQ(kFeedHeadersComplete, log.headerResult);
    EXPECT_EQ(target.substr(std::strlen("http://cdn.example.com")), exchange->url.path);

    auto refused = NewExchange();
    FeedLog refusedLog;
    FeedChunk(*refused, "HTTP/1.1 302 Found\r\nLocation: " + SignedUrl(kUrlTextMax + 1) + "\r\n\r\n", refusedLog);
    EXPECT_EQ(kHttpMalformed, refusedLog.headerResult);
}

TEST(LongAddress, NamesCutToTheirFieldKeepTheExtension)
{
    auto parts = std::make_unique<UrlParts>();
    ResetUrl(*parts);
    const std::string stem(100, 'a');
    ASSERT_EQ(0, ParseUrl(("http://h/dir/" + stem + ".tar.gz?x=1").c_str(), nullptr, *parts));
    EXPECT_EQ(std::string(kUrlFileNameMax - 3, 'a') + ".gz", parts->fileName);

    char out[16];
    struct Case {
        std::string name;
        const char* expected;
    } cases[] = {
        {"short.zip", "short.zip"},
        {"abcdefghijklmnopqrst.zip", "abcdefghijk.zip"},
        {std::string(30, 'n'), "nnnnnnnnnnnnnnn"},   // no extension: a plain cut
        {"a.verylongextension", "a.verylongexten"},  // not an extension worth the stem
        {"\x83\x5c\x83\x5c\x83\x5c\x83\x5c\x83\x5c\x83\x5c.zip", "\x83\x5c\x83\x5c\x83\x5c\x83\x5c\x83\x5c.zip"},
        // The stem's room ends inside a double-byte character: it goes whole.
        {"ab\x83\x5c\x83\x5c\x83\x5c\x83\x5c\x83\x5c\x83\x5c.zip", "ab\x83\x5c\x83\x5c\x83\x5c\x83\x5c.zip"},
        {".hiddenfilename-long", ".hiddenfilename"},
    };
    for (const Case& c : cases) {
        CopyNameKeepingExtension(out, sizeof out, c.name.c_str(), c.name.size());
        EXPECT_STREQ(c.expected, out) << c.name;
    }

    // Content-Disposition names are cut the same way.
    auto exchange = NewExchange();
    FeedLog log;
    FeedChunk(*exchange,
              "HTTP/1.1 200 OK\r\nContent-Disposition: attachment; filename=" +
                  std::string(kReceivedNameMax + 80, 'd') + ".iso\r\n\r\n",
              log);
    EXPECT_EQ(std::string(kReceivedNameMax - 4, 'd') + ".iso", exchange->response.fileName);
}

}  // namespace

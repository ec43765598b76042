#include "marrowby/engine/response.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "marrowby/engine/http_result.h"
#include "marrowby/engine/response_internal.h"
#include "response_test_support.h"

namespace {

TEST(FeedResponse, OkWithDatesAndTypes)
{
    const std::string response =
        "HTTP/1.1 200 OK\r\n"
        "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
        "Server: Apache/2.4.41 (Ubuntu)\r\n"
        "Last-Modified: Sat, 05 Nov 1994 08:49:37 GMT\r\n"
        "Content-Length: 10\r\n"
        "Content-Type: application/zip\r\n"
        "\r\n"
        "0123456789";
    FeedEveryWay(response, [](const HttpExchange& exchange, const FeedLog& log) {
        const ResponseSummary& r = exchange.response;
        EXPECT_EQ(kFeedHeadersComplete, log.headerResult);
        EXPECT_EQ(200, r.status);
        EXPECT_EQ(11, r.responseVersion);
        EXPECT_EQ(10, r.contentLength);
        EXPECT_EQ(10, r.totalSize);
        EXPECT_EQ(10, r.bodyReceived);
        EXPECT_EQ(784111777, r.date);
        EXPECT_EQ(784111777 - 86400, r.lastModified);
        EXPECT_STREQ("application/zip", r.contentType);
        EXPECT_STREQ("Apache/2.4.41 (Ubuntu)", r.server);
        EXPECT_STREQ("file.zip", r.fileName);
        EXPECT_EQ(0, r.rangeFirst);
        EXPECT_EQ("0123456789", log.body);
    });
}

TEST(FeedResponse, PartialContent)
{
    const std::string response =
        "HTTP/1.1 206 Partial Content\r\n"
        "Content-Range: bytes 4096-9999/10000\r\n"
        "Content-Length: 5904\r\n"
        "\r\n"
        "abc";
    FeedEveryWay(response, [](const HttpExchange& exchange, const FeedLog& log) {
        const ResponseSummary& r = exchange.response;
        EXPECT_EQ(kFeedHeadersComplete, log.headerResult);
        EXPECT_EQ(206, r.status);
        EXPECT_EQ(4096, r.rangeFirst);
        EXPECT_EQ(5904, r.rangeRemaining);
        EXPECT_EQ(10000, r.totalSize);
        EXPECT_NE(kFeedBodyComplete, log.lastResult);
        EXPECT_EQ(3, r.bodyReceived);
        EXPECT_EQ("abc", log.body);
    });
}

TEST(FeedResponse, PartialContentBeyond4GiB)
{
    // The resume of a 5 GiB file at 4.5 GiB, as nginx answers it.
    const std::string response =
        "HTTP/1.1 206 Partial Content\r\n"
        "Content-Length: 536870912\r\n"
        "Content-Range: bytes 4831838208-5368709119/5368709120\r\n"
        "\r\n"
        "xy";
    FeedEveryWay(response, [](const HttpExchange& exchange, const FeedLog& log) {
        const ResponseSummary& r = exchange.response;
        EXPECT_EQ(kFeedHeadersComplete, log.headerResult);
        EXPECT_EQ(INT64_C(4831838208), r.rangeFirst);
        EXPECT_EQ(INT64_C(536870912), r.rangeRemaining);
        EXPECT_EQ(INT64_C(5368709120), r.totalSize);
        EXPECT_EQ(INT64_C(536870912), r.contentLength);
        EXPECT_EQ(2, r.bodyReceived);
    });

    // Without Content-Range the length is the total, also past 32 bits; a
    // length that does not fit into 64 bits fails the block.
    FeedEveryWay("HTTP/1.0 200 OK\r\nContent-Length: 4294967296\r\n\r\n",
                 [](const HttpExchange& exchange, const FeedLog& log) {
                     EXPECT_EQ(kFeedHeadersComplete, log.headerResult);
                     EXPECT_EQ(INT64_C(4294967296), exchange.response.totalSize);
                 });
    FeedEveryWay("HTTP/1.0 200 OK\r\nContent-Length: 9223372036854775808\r\n\r\nbody",
                 [](const HttpExchange&, const FeedLog& log) { EXPECT_EQ(kHttpMalformed, log.headerResult); });
}

TEST(FeedResponse, RedirectRelative)
{
    const std::string response =
        "HTTP/1.0 302 Found\r\n"
        "Location: ../other/new.bin\r\n"
        "Content-Length: 0\r\n"
        "\r\n";
    FeedEveryWay(response, [](const HttpExchange& exchange, const FeedLog& log) {
        EXPECT_EQ(kFeedHeadersComplete, log.headerResult);
        EXPECT_EQ(302, exchange.response.status);
        EXPECT_EQ(10, exchange.response.responseVersion);
        EXPECT_STREQ("example.com", exchange.url.host);
        EXPECT_STREQ("/dir/other/new.bin", exchange.url.path);
        EXPECT_STREQ("new.bin", exchange.response.fileName);
    });
}

TEST(FeedResponse, RedirectAbsoluteWithLogin)
{
    const std::string response =
        "HTTP/1.1 302 Moved Temporarily\r\n"
        "Location: http://u:pw@mirror.example.net:8081/pub/x.tar.gz?dl=1\r\n"
        "\r\n";
    FeedEveryWay(response, [](const HttpExchange& exchange, const FeedLog& log) {
        EXPECT_EQ(kFeedHeadersComplete, log.headerResult);
        EXPECT_STREQ("mirror.example.net", exchange.url.host);
        EXPECT_EQ(8081, exchange.url.port);
        EXPECT_STREQ("/pub/x.tar.gz?dl=1", exchange.url.path);
        EXPECT_STREQ("x.tar.gz", exchange.response.fileName);
        EXPECT_STREQ("u", exchange.user);
        EXPECT_STREQ("pw", exchange.password);
        EXPECT_EQ("", log.body);
    });
}

TEST(FeedResponse, BasicChallenge)
{
    const std::string response =
        "HTTP/1.1 401 Unauthorized\r\n"
        "WWW-Authenticate: Basic realm=\"Members Only\"\r\n"
        "Content-Length: 4\r\n"
        "\r\n"
        "deny";
    FeedEveryWay(response, [](const HttpExchange& exchange, const FeedLog& log) {
        EXPECT_EQ(kFeedHeadersComplete, log.headerResult);
        EXPECT_EQ(401, exchange.response.status);
        EXPECT_EQ(kAuthBasic, exchange.authScheme);
        EXPECT_STREQ("Members Only", exchange.realm);
        EXPECT_EQ("deny", log.body);
    });
}

TEST(FeedResponse, BasicChallengeWithCharsetFirst)
{
    const std::string response =
        "HTTP/1.1 401 Unauthorized\n"
        "WWW-Authenticate: Basic charset=\"UTF-8\", realm=\"Area 51\"\n"
        "\n";
    FeedEveryWay(response, [](const HttpExchange& exchange, const FeedLog& log) {
        EXPECT_EQ(kFeedHeadersComplete, log.headerResult);
        EXPECT_EQ(kAuthBasic, exchange.authScheme);
        EXPECT_STREQ("Area 51", exchange.realm);
    });
}

TEST(FeedResponse, DigestChallengeFailsBlock)
{
    const std::string response =
        "HTTP/1.1 401 Unauthorized\r\n"
        "WWW-Authenticate: Digest realm=\"x\", nonce=\"abc\"\r\n"
        "\r\n";
    FeedEveryWay(response, [](const HttpExchange&, const FeedLog& log) {
        EXPECT_EQ(kHttpMalformed, log.headerResult);
        EXPECT_EQ("", log.body);
    });
}

std::string BlockOfLength(size_t length)
{
    const std::string head = "HTTP/1.0 200 OK\r\nX-Pad: ";
    const std::string tail = "\r\n\r\n";
    return head + std::string(length - head.size() - tail.size(), 'a') + tail;
}

TEST(FeedResponse, BlockOneByteUnderTheLimitFitsAndOneAtTheLimitFails)
{
    auto fits = NewExchange();
    FeedLog fitsLog;
    EXPECT_EQ(kFeedHeadersComplete, FeedChunk(*fits, BlockOfLength(kHeaderBlockMax - 1) + "body", fitsLog));
    EXPECT_EQ(200, fits->response.status);
    EXPECT_EQ("body", fitsLog.body);

    auto tooLong = NewExchange();
    FeedLog tooLongLog;
    EXPECT_EQ(kHttpHeaderTooLong, FeedChunk(*tooLong, BlockOfLength(kHeaderBlockMax), tooLongLog));
    EXPECT_EQ("", tooLongLog.body);
}

TEST(FeedResponse, OverflowedBlockRefusesLaterChunksWithoutWriting)
{
    auto exchange = NewExchange();
    FeedLog log;
    EXPECT_EQ(kHttpHeaderTooLong, FeedChunk(*exchange, std::string(kHeaderBlockMax + 100, 'x'), log));
    const int32_t lineStart = exchange->lineStart;
    const int32_t filled = exchange->filled;
    ResponseSummary before;
    std::memcpy(&before, &exchange->response, sizeof before);  // padding too, for the byte comparison
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(kHttpHeaderTooLong, FeedChunk(*exchange, std::string(3000, '\n'), log));
    }
    EXPECT_EQ(lineStart, exchange->lineStart);
    EXPECT_EQ(filled, exchange->filled);
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): before is a byte copy, padding included
    EXPECT_EQ(0, std::memcmp(&before, &exchange->response, sizeof before));
}

TEST(FeedResponse, BodyIsCutAtContentLength)
{
    auto exchange = NewExchange();
    FeedLog log;
    EXPECT_EQ(kFeedHeadersComplete, FeedChunk(*exchange, "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n", log));
    EXPECT_EQ(kFeedNeedMore, FeedChunk(*exchange, std::string(60, 'a'), log));
    EXPECT_EQ(kFeedBodyComplete, FeedChunk(*exchange, std::string(90, 'b'), log));
    EXPECT_EQ(std::string(60, 'a') + std::string(40, 'b'), log.body);
    EXPECT_EQ(100, exchange->response.bodyReceived);
    EXPECT_EQ(kFeedBodyComplete, FeedChunk(*exchange, "more", log));
    EXPECT_EQ(100u, log.body.size());
}

TEST(FeedResponse, BodyInHeaderChunkIsCutToo)
{
    auto exchange = NewExchange();
    FeedLog log;
    EXPECT_EQ(kFeedHeadersComplete, FeedChunk(*exchange, "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabcdef", log));
    EXPECT_EQ("abc", log.body);
    EXPECT_EQ(kFeedBodyComplete, FeedChunk(*exchange, "x", log));
}

TEST(FeedResponse, UnknownLengthCountsEverything)
{
    auto exchange = NewExchange();
    FeedLog log;
    FeedChunk(*exchange, "HTTP/1.0 200 OK\r\n\r\nab", log);
    EXPECT_EQ(kFeedNeedMore, FeedChunk(*exchange, "cd", log));
    EXPECT_EQ("abcd", log.body);
    EXPECT_EQ(4, exchange->response.bodyReceived);
    EXPECT_EQ(0, exchange->response.totalSize);
}

TEST(FeedResponse, StatusLineForms)
{
    struct Case {
        const char* block;
        int32_t result;
        int32_t status;
        int32_t version;
    } cases[] = {
        {"HTTP/1.1 206 Partial Content\r\n\r\n", kFeedHeadersComplete, 206, 11},
        {"HTTP/1.0 404 Not Found\n\n", kFeedHeadersComplete, 404, 10},
        {"HTTP/2 200\r\n\r\n", kHttpMalformed, 0, 0},
        {"HTTP/1.2 200 OK\r\n\r\n", kHttpMalformed, 0, 0},
        {"HTTP/1.1\n\n", kHttpMalformed, 0, 0},  // under 12 bytes
        // The status line is the block's first line, nothing before it.
        {"garbage HTTP/1.1 301 Moved\r\n\r\n", kHttpMalformed, 0, 0},
        {"ICY 200 OK\r\n\r\n", kHttpMalformed, 0, 0},
        {"\r\n", kHttpMalformed, 0, 0},
        {"abcd\n\rHTTP/1.1\n", kHttpMalformed, 0, 0},
    };
    for (const Case& c : cases) {
        auto exchange = NewExchange();
        FeedLog log;
        EXPECT_EQ(c.result, FeedChunk(*exchange, c.block, log)) << c.block;
        if (c.result == kFeedHeadersComplete) {
            EXPECT_EQ(c.status, exchange->response.status) << c.block;
            EXPECT_EQ(c.version, exchange->response.responseVersion) << c.block;
        }
    }
}

TEST(FeedResponse, StatusLineWithoutLineFeedIsRefused)
{
    auto exchange = NewExchange();
    const char block[] = "HTTP/1.1 200 OK";
    std::memcpy(exchange->headerBuffer, block, sizeof block);
    exchange->filled = static_cast<int32_t>(sizeof block - 1);
    EXPECT_EQ(kHttpMalformed, ParseStatusLine(*exchange));
}

TEST(FeedResponse, Http09AnswerWithoutStatusLine)
{
    auto exchange = NewExchange();
    exchange->version = kHttpVersion09;
    FeedLog log;
    EXPECT_EQ(kFeedHeadersComplete, FeedChunk(*exchange, "Hello\n\nrest", log));
    EXPECT_EQ(0, exchange->response.status);
    EXPECT_EQ("rest", log.body);
}

TEST(FeedResponse, LineWithoutColonEndsHeaders)
{
    auto exchange = NewExchange();
    FeedLog log;
    EXPECT_EQ(kFeedHeadersComplete,
              FeedChunk(*exchange, "HTTP/1.0 200 OK\r\nServer: a\r\nno colon here\r\nContent-Length: 5\r\n\r\n", log));
    EXPECT_STREQ("a", exchange->response.server);
    EXPECT_EQ(0, exchange->response.contentLength);
}

// Names are compared without letter case: many servers send them all in
// lower case, and their framing and redirects must still be understood.
TEST(FeedResponse, HeaderNamesArePrefixesInAnyLetterCase)
{
    auto exchange = NewExchange();
    FeedLog log;
    FeedChunk(*exchange,
              "HTTP/1.0 200 OK\r\n"
              "content-length: 99\r\n"
              "Content-Lengthy: 77\r\n"
              "Serv: short\r\n"
              "Content-Typ: text/plain\r\n"
              "\r\n",
              log);
    EXPECT_EQ(99, exchange->response.contentLength);
    EXPECT_STREQ("short", exchange->response.server);
    EXPECT_STREQ("text/plain", exchange->response.contentType);
}

TEST(FeedResponse, TotalSizeFallsBackToContentLength)
{
    auto withLength = NewExchange();
    FeedLog log;
    FeedChunk(*withLength, "HTTP/1.0 200 OK\r\nContent-Length: 1234\r\n\r\n", log);
    EXPECT_EQ(1234, withLength->response.totalSize);

    auto rangeOn200 = NewExchange();
    FeedChunk(*rangeOn200, "HTTP/1.0 200 OK\r\nContent-Range: bytes 100-199/200\r\nContent-Length: 50\r\n\r\n", log);
    EXPECT_EQ(0, rangeOn200->response.rangeFirst);
    EXPECT_EQ(50, rangeOn200->response.totalSize);
}

TEST(FeedResponse, ResetKeepsNameRealmAndUrl)
{
    auto exchange = NewExchange();
    FeedLog log;
    FeedChunk(*exchange,
              "HTTP/1.1 401 No\r\nWWW-Authenticate: Basic realm=\"r\"\r\nServer: s\r\n"
              "Location: /new/name.bin\r\nContent-Length: 9\r\n\r\n",
              log);
    ResetResponse(*exchange);
    EXPECT_EQ(0, exchange->filled);
    EXPECT_EQ(0, exchange->lineStart);
    EXPECT_EQ(0, exchange->headersComplete);
    EXPECT_EQ(0, exchange->response.status);
    EXPECT_EQ(0, exchange->response.contentLength);
    EXPECT_STREQ("", exchange->response.server);
    EXPECT_STREQ("name.bin", exchange->response.fileName);
    EXPECT_STREQ("r", exchange->realm);
    EXPECT_EQ(kAuthBasic, exchange->authScheme);
    EXPECT_STREQ("/new/name.bin", exchange->url.path);

    // The reader starts over on the next response.
    FeedLog again;
    EXPECT_EQ(kFeedHeadersComplete, FeedChunk(*exchange, "HTTP/1.1 200 OK\r\n\r\nx", again));
    EXPECT_EQ(200, exchange->response.status);
    EXPECT_EQ("x", again.body);
}

}  // namespace

// Answers a careful client must judge rather than save: interim heads,
// malformed status lines, chunked bodies, conflicting lengths and
// network-path redirects.
#include <gtest/gtest.h>

#include <string>

#include "marrowby/engine/chunked_body.h"
#include "marrowby/engine/http_result.h"
#include "marrowby/engine/response.h"
#include "response_test_support.h"

namespace {

int32_t FeedWhole(const std::string& response, FeedLog& log, const char* url = "http://example.com/dir/f.zip")
{
    auto exchange = NewExchange(url);
    FeedChunk(*exchange, response, log);
    return log.headerResult;
}

TEST(ResponseAnswers, InterimHeadsAreSkippedWithoutTheirHeaders)
{
    const std::string response =
        "HTTP/1.1 100 Continue\r\n\r\n"
        "\r\n"  // one empty line too many after an interim head
        "HTTP/1.1 103 Early Hints\r\nLink: </style.css>; rel=preload\r\nLocation: /elsewhere/x.bin\r\n"
        "Content-Length: 3\r\n\r\n"
        "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";
    FeedEveryWay(response, [](const HttpExchange& exchange, const FeedLog& log) {
        EXPECT_EQ(kFeedHeadersComplete, log.headerResult);
        EXPECT_EQ(200, exchange.response.status);
        EXPECT_EQ(5, exchange.response.contentLength);
        EXPECT_EQ("hello", log.body);
        EXPECT_STREQ("/dir/sub/file.zip", exchange.url.path);  // the 103's Location is not applied
        EXPECT_STREQ("file.zip", exchange.response.fileName);
    });

    // Only interim heads: no final answer has begun.
    auto interimOnly = NewExchange();
    FeedLog log;
    EXPECT_EQ(kFeedNeedMore,
              FeedChunk(*interimOnly, "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\n\r\n", log));
    EXPECT_EQ(0, interimOnly->headersComplete);
    EXPECT_EQ("", log.body);

    // A switch of protocol was never asked for, and endless interim heads
    // are no answer.
    FeedLog switched;
    EXPECT_EQ(kHttpMalformed, FeedWhole("HTTP/1.1 101 Switching Protocols\r\nUpgrade: h2c\r\n\r\n", switched));
    std::string endless;
    for (int i = 0; i < 40; ++i) endless += "HTTP/1.1 100 Continue\r\n\r\n";
    FeedLog endlessLog;
    EXPECT_EQ(kHttpMalformed, FeedWhole(endless + "HTTP/1.1 200 OK\r\n\r\n", endlessLog));
}

TEST(ResponseAnswers, MalformedStatusLinesFail)
{
    const std::string malformed[] = {
        "HTTP/1.1 abc OK\r\n\r\n",
        "HTTP/1.1 2000 OK\r\n\r\n",
        "HTTP/1.1 -1 X\r\n\r\n",
        "HTTP/1.1 600 X\r\n\r\n",
        "HTTP/1.1 099 X\r\n\r\n",
        "HTTP/1.1  200 OK\r\n\r\n",
        "HTTP/1.1 20 OK\r\n\r\n",
        "HTTP/1.10 200 OK\r\n\r\n",
        std::string("HTTP/1.1 200\0OK\r\n\r\n", 19),
        std::string("HTTP/1.1 200 O\0K\r\n\r\n", 20),
        "\r\n",
        "\n",
        "HTTP/1.1 200OK\r\n\r\n",
        " HTTP/1.1 200 OK\r\n\r\n",
    };
    for (const std::string& block : malformed) {
        FeedLog log;
        EXPECT_EQ(kHttpMalformed, FeedWhole(block + "body", log)) << block;
        EXPECT_EQ("", log.body) << block;
    }

    struct Good {
        const char* block;
        int32_t status;
    } good[] = {
        {"HTTP/1.1 200\r\n\r\n", 200},
        {"HTTP/1.0 599 Odd\n\n", 599},
        {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 204 No Content\r\n\r\n", 204},
    };
    for (const Good& g : good) {
        auto exchange = NewExchange();
        FeedLog log;
        EXPECT_EQ(kFeedHeadersComplete, FeedChunk(*exchange, g.block, log)) << g.block;
        EXPECT_EQ(g.status, exchange->response.status) << g.block;
    }
}

TEST(ResponseAnswers, ChunkedBodyIsDecodedAndItsFramingNeverSaved)
{
    const std::string response =
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 999\r\n\r\n"
        "5;name=\"v\"\r\nhello\r\n"
        "1A \r\n" +
        std::string(26, 'z') +
        "\r\n"
        "6\nworld!\n"  // bare line feeds
        "0\r\nExpires: never\r\n\r\n"
        "bytes after the last chunk";
    FeedEveryWay(response, [](const HttpExchange& exchange, const FeedLog& log) {
        EXPECT_EQ(kFeedHeadersComplete, log.headerResult);
        EXPECT_EQ(kChunkDone, exchange.chunkedBody.phase);
        EXPECT_EQ("hello" + std::string(26, 'z') + "world!", log.body);
        EXPECT_EQ(1, exchange.chunked);
        EXPECT_EQ(0, exchange.response.contentLength);  // the chunks tell the length
        EXPECT_EQ(0, exchange.response.totalSize);
        EXPECT_EQ(37, exchange.response.bodyReceived);
    });

    // The chunk that ends the body says so.
    auto later = NewExchange();
    FeedLog laterLog;
    FeedChunk(*later, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab", laterLog);
    EXPECT_EQ(kFeedNeedMore, FeedChunk(*later, "\r\n0\r", laterLog));
    EXPECT_EQ(kFeedBodyComplete, FeedChunk(*later, "\n\r\n", laterLog));
    EXPECT_EQ("ab", laterLog.body);

    // Cut before the last chunk: not complete.
    FeedLog cut;
    auto exchange = NewExchange();
    FeedChunk(*exchange, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\n2\r\nef", cut);
    EXPECT_EQ("abcdef", cut.body);
    EXPECT_NE(kChunkDone, exchange->chunkedBody.phase);

    // Broken framing fails, also after body bytes have gone out.
    const char* broken[] = {"zz\r\n", "4\r\nabcdX\r\n", "\r\n", "4\r\r\nabcd\r\n", "1234567890123456\r\n"};
    for (const char* body : broken) {
        auto broke = NewExchange();
        FeedLog log;
        FeedChunk(*broke, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", log);
        EXPECT_EQ(kHttpMalformed, FeedChunk(*broke, body, log)) << body;
        EXPECT_EQ(kHttpMalformed, FeedChunk(*broke, "0\r\n\r\n", log)) << body;
    }
}

// Servers that speak HTTP/2 elsewhere, and some proxies, send every field
// name in lower case (or in any mix): each is understood as written properly.
TEST(ResponseAnswers, FieldNamesInAnyLetterCaseAreUnderstood)
{
    const std::string chunked =
        "HTTP/1.1 200 OK\r\ntransfer-encoding: chunked\r\ncontent-disposition: attachment; filename=\"low.bin\"\r\n"
        "last-modified: Sun, 06 Nov 1994 08:49:37 GMT\r\netag: \"v1\"\r\naccept-ranges: bytes\r\n\r\n"
        "3\r\nabc\r\n0\r\n\r\n";
    FeedEveryWay(chunked, [](const HttpExchange& exchange, const FeedLog& log) {
        EXPECT_EQ(kFeedHeadersComplete, log.headerResult);
        EXPECT_EQ("abc", log.body);  // the framing is taken off
        EXPECT_EQ(kChunkDone, exchange.chunkedBody.phase);
        EXPECT_STREQ("low.bin", exchange.response.fileName);
        EXPECT_EQ(784111777, exchange.response.lastModified);
        EXPECT_EQ(1, exchange.response.acceptsRanges);
    });

    FeedLog moved;
    auto redirect = NewExchange("http://example.com/dir/f.zip");
    FeedChunk(*redirect, "HTTP/1.1 302 Found\r\nLOCATION: /other/g.zip\r\ncontent-length: 0\r\n\r\n", moved);
    EXPECT_EQ(kFeedHeadersComplete, moved.headerResult);
    EXPECT_STREQ("/other/g.zip", redirect->url.path);
    EXPECT_EQ(1, redirect->locationSeen);
    EXPECT_EQ(1, redirect->contentLengthSeen);

    FeedLog part;
    auto partial = NewExchange();
    FeedChunk(*partial,
              "HTTP/1.1 206 Partial Content\r\ncontent-range: bytes 10-14/20\r\nCONTENT-LENGTH: 5\r\n\r\nhello", part);
    EXPECT_EQ(10, partial->response.rangeFirst);
    EXPECT_EQ(20, partial->response.totalSize);
    EXPECT_EQ(5, partial->response.contentLength);
    EXPECT_EQ("hello", part.body);

    FeedLog login;
    auto challenged = NewExchange();
    FeedChunk(*challenged, "HTTP/1.1 401 Unauthorized\r\nwww-authenticate: Basic realm=\"lab\"\r\n\r\n", login);
    EXPECT_STREQ("lab", challenged->realm);
}

TEST(ResponseAnswers, OnlyCodingsThatCanBeUndoneAreAccepted)
{
    const char* refused[] = {"gzip", "gzip, chunked", "chunked, gzip", "chunked, chunked", "x-unknown"};
    for (const char* coding : refused) {
        FeedLog log;
        EXPECT_EQ(kHttpMalformed,
                  FeedWhole(std::string("HTTP/1.1 200 OK\r\nTransfer-Encoding: ") + coding + "\r\n\r\n0\r\n\r\n", log))
            << coding;
    }
    auto exchange = NewExchange();
    FeedLog log;
    FeedChunk(*exchange, "HTTP/1.1 200 OK\r\nTransfer-Encoding: identity\r\nContent-Length: 3\r\n\r\nabcdef", log);
    EXPECT_EQ(0, exchange->chunked);
    EXPECT_EQ("abc", log.body);

    auto mixed = NewExchange();
    FeedLog mixedLog;
    FeedChunk(*mixed, "HTTP/1.1 200 OK\r\nTransfer-Encoding: identity, CHUNKED\r\n\r\n3\r\nabc\r\n0\r\n\r\n", mixedLog);
    EXPECT_EQ(kFeedHeadersComplete, mixedLog.headerResult);
    EXPECT_EQ("abc", mixedLog.body);
}

TEST(ResponseAnswers, ConflictingContentLengthsFail)
{
    const char* conflicting[] = {
        "Content-Length: 5\r\nContent-Length: 6\r\n",
        "Content-Length: 0\r\nContent-Length: 5\r\n",
        "Content-Length: 5, 6\r\n",
    };
    for (const char* headers : conflicting) {
        FeedLog log;
        EXPECT_EQ(kHttpMalformed, FeedWhole(std::string("HTTP/1.1 200 OK\r\n") + headers + "\r\nhello!", log))
            << headers;
    }
    const char* agreeing[] = {"Content-Length: 5\r\nContent-Length: 5\r\n", "Content-Length: 5, 5\r\n"};
    for (const char* headers : agreeing) {
        auto exchange = NewExchange();
        FeedLog log;
        FeedChunk(*exchange, std::string("HTTP/1.1 200 OK\r\n") + headers + "\r\nhello!", log);
        EXPECT_EQ(kFeedHeadersComplete, log.headerResult) << headers;
        EXPECT_EQ("hello", log.body) << headers;
    }
}

TEST(ResponseAnswers, NetworkPathLocationKeepsTheScheme)
{
    auto plain = NewExchange("http://example.com/dir/f.zip");
    FeedLog log;
    FeedChunk(*plain, "HTTP/1.1 302 Found\r\nLocation: //mirror.test:8080/pub/g.zip?x=1\r\n\r\n", log);
    EXPECT_EQ(kFeedHeadersComplete, log.headerResult);
    EXPECT_EQ(kSchemeHttp, plain->url.scheme);
    EXPECT_STREQ("mirror.test", plain->url.host);
    EXPECT_EQ(8080, plain->url.port);
    EXPECT_STREQ("/pub/g.zip?x=1", plain->url.path);
    EXPECT_STREQ("g.zip", plain->response.fileName);

    auto secure = NewExchange("https://example.com/dir/f.zip");
    FeedLog secureLog;
    FeedChunk(*secure, "HTTP/1.1 307 Temporary Redirect\r\nLocation: //mirror.test/h.zip\r\n\r\n", secureLog);
    EXPECT_EQ(kSchemeHttps, secure->url.scheme);
    EXPECT_EQ(443, secure->url.port);
    EXPECT_STREQ("mirror.test", secure->url.host);
}

// A colon in a relative Location's path or query does not make it absolute.
TEST(ResponseAnswers, ColonsInARelativeLocationKeepItRelative)
{
    struct Case {
        const char* location;
        const char* path;
    } cases[] = {
        {"/get?t=2026-12-08T16:00:00Z", "/get?t=2026-12-08T16:00:00Z"},
        {"sub/a:b.zip", "/dir/sub/a:b.zip"},
        {"HTTP://mirror.test/x.zip", "/x.zip"},
    };
    for (const Case& c : cases) {
        auto exchange = NewExchange("http://example.com/dir/f.zip");
        FeedLog log;
        FeedChunk(*exchange, std::string("HTTP/1.1 302 Found\r\nLocation: ") + c.location + "\r\n\r\n", log);
        EXPECT_EQ(kFeedHeadersComplete, log.headerResult) << c.location;
        EXPECT_EQ(1, exchange->locationSeen) << c.location;
        EXPECT_STREQ(c.path, exchange->url.path) << c.location;
    }
    // A scheme that is not downloadable stays refused.
    auto other = NewExchange("http://example.com/dir/f.zip");
    FeedLog otherLog;
    FeedChunk(*other, "HTTP/1.1 302 Found\r\nLocation: mailto:a@example.com\r\n\r\n", otherLog);
    EXPECT_NE(kFeedHeadersComplete, otherLog.headerResult);
}

}  // namespace

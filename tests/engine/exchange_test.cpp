#include "marrowby/engine/http_exchange.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

TEST(Exchange, ResetKeepsRequestParametersAndSetsProxyPort)
{
    auto exchange = std::make_unique<HttpExchange>();
    std::memset(exchange.get(), 0x7F, sizeof *exchange);
    exchange->method = kMethodHead;
    exchange->version = kHttpVersion11;
    exchange->bodyLength = 5;
    exchange->rangeStart = 6;
    exchange->rangeLength = 7;

    ResetExchange(*exchange);

    EXPECT_EQ(kMethodHead, exchange->method);
    EXPECT_EQ(kHttpVersion11, exchange->version);
    EXPECT_EQ(5, exchange->bodyLength);
    EXPECT_EQ(6, exchange->rangeStart);
    EXPECT_EQ(7, exchange->rangeLength);
    EXPECT_EQ(kDefaultProxyPort, exchange->proxyPort);
    EXPECT_STREQ("", exchange->proxyHost);
    EXPECT_EQ(kAuthNone, exchange->authScheme);
    EXPECT_EQ(0, exchange->lineStart);
    EXPECT_EQ(0, exchange->filled);
    EXPECT_EQ(0, exchange->headersComplete);
    EXPECT_EQ(0, exchange->response.status);
    EXPECT_EQ(0, exchange->response.totalSize);
    EXPECT_STREQ("", exchange->response.fileName);
    EXPECT_STREQ("", exchange->realm);
    EXPECT_STREQ("", exchange->user);
    EXPECT_STREQ("", exchange->referer);
    EXPECT_STREQ("", exchange->userAgent);
    EXPECT_EQ(kSchemeOther, exchange->url.scheme);
    EXPECT_EQ(0, exchange->url.port);
    EXPECT_STREQ("", exchange->url.host);
}

TEST(Exchange, TargetIsProxyWhenSet)
{
    auto exchange = std::make_unique<HttpExchange>();
    ResetExchange(*exchange);
    ParseUrl("http://origin.example:8080/f", nullptr, exchange->url);

    ConnectTarget direct = ComputeTarget(*exchange);
    EXPECT_STREQ("origin.example", direct.host);
    EXPECT_EQ(8080, direct.port);

    std::strcpy(exchange->proxyHost, "proxy.local");
    exchange->proxyPort = 3128;
    ConnectTarget proxied = ComputeTarget(*exchange);
    EXPECT_STREQ("proxy.local", proxied.host);
    EXPECT_EQ(3128, proxied.port);
}

TEST(Exchange, SummaryCopiesResponseFields)
{
    auto exchange = std::make_unique<HttpExchange>();
    ResetExchange(*exchange);
    exchange->response.status = 206;
    exchange->response.rangeFirst = 4096;
    exchange->response.totalSize = 10000;
    std::strcpy(exchange->response.fileName, "f.zip");
    std::strcpy(exchange->response.server, "srv");
    ResponseSummary summary = TakeSummary(*exchange);
    EXPECT_EQ(206, summary.status);
    EXPECT_EQ(4096, summary.rangeFirst);
    EXPECT_EQ(10000, summary.totalSize);
    EXPECT_STREQ("f.zip", summary.fileName);
    EXPECT_STREQ("srv", summary.server);
}

}  // namespace

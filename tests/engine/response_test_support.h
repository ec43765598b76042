// Shared helpers of the response reader tests.
#pragma once

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "marrowby/engine/http_exchange.h"
#include "marrowby/engine/response.h"

#include <gtest/gtest.h>

// An exchange as a job has it before its first response arrives.
inline std::unique_ptr<HttpExchange> NewExchange(const char* url = "http://example.com/dir/sub/file.zip")
{
    auto exchange = std::make_unique<HttpExchange>();
    std::memset(exchange.get(), 0, sizeof *exchange);
    ResetExchange(*exchange);
    exchange->method = kMethodGet;
    exchange->version = kHttpVersion10;
    ParseUrl(url, nullptr, exchange->url);
    std::strcpy(exchange->response.fileName, exchange->url.fileName);
    return exchange;
}

struct FeedLog {
    int32_t lastResult = 0;
    int32_t headerResult = -1;  // result of the call that completed or failed the block
    int calls = 0;
    std::string body;
};

// Feeds one chunk and collects its body part.
inline int32_t FeedChunk(HttpExchange& exchange, const std::string& chunk, FeedLog& log)
{
    size_t offset = 99999;
    size_t count = 99999;
    std::string received = chunk;  // a chunked body is decoded in place
    const int32_t result = FeedResponse(exchange, received.data(), received.size(), offset, count);
    ++log.calls;
    log.lastResult = result;
    if (result != 0 && log.headerResult == -1) log.headerResult = result;
    if (offset > chunk.size() || count > chunk.size() - offset) std::abort();  // body outside the chunk
    log.body.append(received, offset, count);
    return result;
}

using Check = std::function<void(const HttpExchange&, const FeedLog&)>;

// Feeds the response whole, byte by byte, and split in two at every position,
// and runs the same checks on each outcome.
inline void FeedEveryWay(const std::string& response, const Check& check)
{
    {
        auto exchange = NewExchange();
        FeedLog log;
        FeedChunk(*exchange, response, log);
        SCOPED_TRACE("whole");
        check(*exchange, log);
    }
    {
        auto exchange = NewExchange();
        FeedLog log;
        for (char c : response) FeedChunk(*exchange, std::string(1, c), log);
        SCOPED_TRACE("byte by byte");
        check(*exchange, log);
    }
    for (size_t split = 0; split <= response.size(); ++split) {
        auto exchange = NewExchange();
        FeedLog log;
        FeedChunk(*exchange, response.substr(0, split), log);
        FeedChunk(*exchange, response.substr(split), log);
        SCOPED_TRACE("split at " + std::to_string(split));
        check(*exchange, log);
        if (::testing::Test::HasFailure()) return;
    }
}

// Shared helpers of the response reader tests.
#pragma once

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "marrowby/engine/http_exchange.h"
#include "marrowby/engine/response.h"

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
    const int32_t result = FeedResponse(exchange, chunk.data(), chunk.size(), offset, count);
    ++log.calls;
    log.lastResult = result;
    if (result != 0 && log.headerResult == -1) log.headerResult = result;
    if (offset > chunk.size() || count > chunk.size() - offset) std::abort();  // body outside the chunk
    log.body.append(chunk, offset, count);
    return result;
}

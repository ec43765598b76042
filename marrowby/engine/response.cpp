#include "marrowby/engine/response.h"

#include <cstring>

#include "marrowby/engine/http_result.h"
#include "marrowby/engine/response_internal.h"

namespace {

// The block is complete: parse it and hand over the body part of this chunk.
int32_t CompleteHeaders(HttpExchange& exchange, size_t linefeedIndex, size_t length, size_t& bodyOffset,
                        size_t& bodyCount)
{
    exchange.headersComplete = 1;
    exchange.headerBuffer[exchange.filled] = '\0';
    bodyOffset = linefeedIndex + 1;
    bodyCount = length - bodyOffset;
    if (ParseStatusLine(exchange) != 0 || ParseHeaderLines(exchange) != 0) {
        bodyOffset = 0;
        bodyCount = 0;
        return kHttpMalformed;
    }
    CountBody(exchange, bodyCount);
    if (exchange.response.totalSize == 0) exchange.response.totalSize = exchange.response.contentLength;
    return kFeedHeadersComplete;
}

}  // namespace

int32_t FeedResponse(HttpExchange& exchange, const char* data, size_t length, size_t& bodyOffset, size_t& bodyCount)
{
    bodyOffset = 0;
    bodyCount = 0;
    if (exchange.headersComplete) {
        bodyCount = length;
        return CountBody(exchange, bodyCount) ? kFeedBodyComplete : kFeedNeedMore;
    }

    // Once the block has overflowed every later chunk is refused, so the
    // buffer is never written past its end. Inside the loop the check after
    // each store keeps filled below the limit.
    if (length > 0 && (exchange.filled < 0 || exchange.filled >= static_cast<int32_t>(kHeaderBlockMax))) {
        return kHttpHeaderTooLong;
    }
    char* const buffer = exchange.headerBuffer;
    for (size_t i = 0; i < length; ++i) {
        const char byte = data[i];
        buffer[exchange.filled++] = byte;
        if (exchange.filled >= static_cast<int32_t>(kHeaderBlockMax)) return kHttpHeaderTooLong;
        if (byte != '\n') continue;

        if (IsLineEnd(buffer[exchange.lineStart])) {
            return CompleteHeaders(exchange, i, length, bodyOffset, bodyCount);
        }
        exchange.lineStart = exchange.filled;
    }
    return kFeedNeedMore;
}

void ResetResponse(HttpExchange& exchange)
{
    exchange.headerBuffer[0] = '\0';
    exchange.lineStart = 0;
    exchange.filled = 0;
    exchange.headersComplete = 0;

    ResponseSummary& response = exchange.response;
    response.status = 0;
    response.responseVersion = 0;
    response.contentLength = 0;
    response.bodyReceived = 0;
    response.rangeFirst = 0;
    response.rangeRemaining = 0;
    response.totalSize = 0;
    response.date = 0;
    response.lastModified = 0;
    response.entityTag[0] = '\0';
    response.unsatisfiedTotal = 0;
    response.contentType[0] = '\0';
    response.server[0] = '\0';
}

bool CountBody(HttpExchange& exchange, size_t& count)
{
    ResponseSummary& response = exchange.response;
    if (response.contentLength <= 0) {
        // Unknown length: keep counting, saturating rather than overflowing.
        const int64_t room = INT64_MAX - response.bodyReceived;
        response.bodyReceived = static_cast<uint64_t>(count) > static_cast<uint64_t>(room)
                                    ? INT64_MAX
                                    : response.bodyReceived + static_cast<int64_t>(count);
        return false;
    }
    const int64_t missing = response.contentLength - response.bodyReceived;
    if (missing <= 0) {
        // Bytes beyond Content-Length are dropped.
        count = 0;
    } else if (static_cast<uint64_t>(count) > static_cast<uint64_t>(missing)) {
        count = static_cast<size_t>(missing);
    }
    response.bodyReceived += static_cast<int64_t>(count);
    return response.bodyReceived == response.contentLength;
}

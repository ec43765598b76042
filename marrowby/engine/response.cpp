#include "marrowby/engine/response.h"

#include <cstring>

#include "marrowby/engine/http_result.h"
#include "marrowby/engine/response_internal.h"

namespace {

// A server may send any number of interim heads; more than this many before
// one final answer is no server worth waiting for.
constexpr int32_t kInterimHeadsMax = 32;

bool IsInterim(int32_t status)
{
    return status >= 100 && status <= 199;
}

// Starts collecting the next head after an interim one, whose headers are
// not applied: they describe no body.
void ForgetHead(HttpExchange& exchange)
{
    exchange.headerBuffer[0] = '\0';
    exchange.lineStart = 0;
    exchange.filled = 0;
    exchange.response.status = 0;
    exchange.response.responseVersion = 0;
}

// The body part of data[0, count): counted against Content-Length, or
// decoded in place when it comes in chunks.
int32_t TakeBody(HttpExchange& exchange, char* data, size_t& count)
{
    if (!exchange.chunked) return CountBody(exchange, count) ? kFeedBodyComplete : kFeedNeedMore;
    const int32_t decoded = DecodeChunked(exchange.chunkedBody, data, count, count);
    exchange.response.bodyReceived += static_cast<int64_t>(count);
    if (decoded == kChunkedMalformed) return kHttpMalformed;
    return decoded == kChunkedDone ? kFeedBodyComplete : kFeedNeedMore;
}

// The block is complete: parse it and hand over the body part of this chunk.
int32_t CompleteHeaders(HttpExchange& exchange, char* data, size_t linefeedIndex, size_t length, size_t& bodyOffset,
                        size_t& bodyCount)
{
    exchange.headersComplete = 1;
    exchange.headerBuffer[exchange.filled] = '\0';
    bodyOffset = linefeedIndex + 1;
    bodyCount = length - bodyOffset;
    if (ParseHeaderLines(exchange) != 0) {
        bodyOffset = 0;
        bodyCount = 0;
        return kHttpMalformed;
    }
    // A chunked body's length is told by its chunks, whatever
    // Content-Length says.
    if (exchange.chunked) exchange.response.contentLength = 0;
    if (exchange.response.totalSize == 0) exchange.response.totalSize = exchange.response.contentLength;
    if (TakeBody(exchange, data + bodyOffset, bodyCount) == kHttpMalformed) return kHttpMalformed;
    return kFeedHeadersComplete;
}

}  // namespace

int32_t FeedResponse(HttpExchange& exchange, char* data, size_t length, size_t& bodyOffset, size_t& bodyCount)
{
    bodyOffset = 0;
    bodyCount = 0;
    if (exchange.headersComplete) {
        bodyCount = length;
        return TakeBody(exchange, data, bodyCount);
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

        if (!IsLineEnd(buffer[exchange.lineStart])) {
            exchange.lineStart = exchange.filled;
            continue;
        }
        if (exchange.lineStart == 0 && exchange.interimHeads > 0) {
            // An empty line after an interim head (some servers end theirs
            // with one too many) is not the final head.
            ForgetHead(exchange);
            continue;
        }
        buffer[exchange.filled] = '\0';
        if (ParseStatusLine(exchange) != 0) return kHttpMalformed;
        if (!IsInterim(exchange.response.status)) {
            return CompleteHeaders(exchange, data, i, length, bodyOffset, bodyCount);
        }
        // 101 would switch to another protocol, which no download asked for.
        if (exchange.response.status == 101 || ++exchange.interimHeads > kInterimHeadsMax) return kHttpMalformed;
        ForgetHead(exchange);
    }
    return kFeedNeedMore;
}

void ResetResponse(HttpExchange& exchange)
{
    exchange.headerBuffer[0] = '\0';
    exchange.lineStart = 0;
    exchange.filled = 0;
    exchange.headersComplete = 0;
    exchange.interimHeads = 0;
    exchange.contentLengthSeen = 0;
    exchange.locationSeen = 0;
    exchange.chunked = 0;
    ResetChunkedBody(exchange.chunkedBody);

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
    response.acceptsRanges = 0;
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

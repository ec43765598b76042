// Reads an HTTP response: collects and parses the header block, then counts
// body bytes against Content-Length.
#pragma once

#include <cstddef>
#include <cstdint>

#include "marrowby/engine/http_exchange.h"

// Feeds one received chunk. bodyOffset and bodyCount give the part of data
// that is body (count 0 when none). Interim (1xx) heads are skipped. A
// chunked body is decoded in place: its payload is moved together inside
// data, so the body part is still one piece; when its framing is broken the
// result is kHttpMalformed and the body part holds the payload before the fault.
// Returns kFeedNeedMore (0), kFeedHeadersComplete (1), kFeedBodyComplete (2),
// kHttpHeaderTooLong or kHttpMalformed.
int32_t FeedResponse(HttpExchange& exchange, char* data, size_t length, size_t& bodyOffset, size_t& bodyCount);

// Clears the reader state and the response fields except fileName, before a
// reconnect. Realm, authScheme, url, credentials and the request parameters stay.
void ResetResponse(HttpExchange& exchange);

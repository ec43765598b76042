// Result codes of Tessaline's HTTP message layer (URL parsing, request
// composition, response reading).
#pragma once

#include <cstdint>

// Generic success.
constexpr int32_t kHttpOk = 0;

constexpr int32_t kHttpNotHttp = 0x8001;                // URL is not http
constexpr int32_t kHttpBadMethodOrVersion = 0x8002;     // method or version unknown
constexpr int32_t kHttpHeaderTooLong = 0x8004;          // response header block too long
constexpr int32_t kHttpMalformed = 0x8005;              // malformed status line or header
constexpr int32_t kHttpAuthSchemeUnsupported = 0x8006;  // auth scheme that cannot be expressed

// The composed request does not fit into the capacity given to
// ComposeRequest. Sending a cut request would be worse than sending none, so
// nothing usable is written: the buffer holds an empty text and the length is 0.
constexpr int32_t kHttpRequestTooLong = 0x8007;

// The output buffer given to EncodeBase64 is too small.
constexpr int32_t kHttpOutputTooSmall = 0x8008;

// Results of FeedResponse other than the failure codes above.
constexpr int32_t kFeedNeedMore = 0;         // no complete header block yet, or body bytes given
constexpr int32_t kFeedHeadersComplete = 1;  // the header block was completed in this chunk
constexpr int32_t kFeedBodyComplete = 2;     // body bytes given and complete by Content-Length

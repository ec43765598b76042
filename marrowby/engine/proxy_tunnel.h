// The CONNECT exchange with an HTTP proxy that opens a tunnel for an https
// URL: the request, and the reader of the proxy's answer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "marrowby/engine/http_exchange.h"

// The proxy's answer head is read into a buffer of this many bytes plus a
// terminator; a longer head is refused.
constexpr size_t kTunnelAnswerMax = 1024;

// "CONNECT host:port HTTP/1.0" with Host, User-Agent (when set) and the
// proxy's login (when set). Returns 0, or kHttpRequestTooLong (length 0,
// buffer empty) when it does not fit into capacity.
int32_t ComposeConnectRequest(const HttpExchange& exchange, char* buffer, size_t capacity, size_t& length);

struct TunnelAnswer {
    char head[kTunnelAnswerMax + 1];
    size_t filled;
    int32_t status;  // once the head is complete
};

// Results of FeedTunnelAnswer.
constexpr int32_t kTunnelNeedMore = 0;
constexpr int32_t kTunnelOpen = 1;       // 2xx: the bytes after the head belong to the tunnel
constexpr int32_t kTunnelRefused = 2;    // any other status (status holds it)
constexpr int32_t kTunnelMalformed = 3;  // no HTTP status line, or a head too long

void ResetTunnelAnswer(TunnelAnswer& answer);

// Takes received bytes until the proxy's answer head is complete. used tells
// how many bytes of data belonged to the head.
int32_t FeedTunnelAnswer(TunnelAnswer& answer, const char* data, size_t length, size_t& used);

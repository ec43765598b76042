// The state of one HTTP conversation of a download job: request parameters,
// response reader state, response fields and connection settings.
#pragma once

#include <cstddef>
#include <cstdint>

#include "marrowby/engine/chunked_body.h"
#include "marrowby/engine/received_name.h"
#include "marrowby/engine/url.h"

constexpr int32_t kMethodGet = 0;
constexpr int32_t kMethodPost = 1;
constexpr int32_t kMethodHead = 2;

constexpr int32_t kHttpVersion09 = 9;
constexpr int32_t kHttpVersion10 = 10;
constexpr int32_t kHttpVersion11 = 11;

constexpr int32_t kAuthNone = 0;
constexpr int32_t kAuthBasic = 1;
constexpr int32_t kAuthUnsupported = 2;  // a scheme the composer cannot express

constexpr uint16_t kDefaultProxyPort = 8080;

// Longest text each field holds; the arrays have one more byte for the NUL.
// Room for a Location of the longest URL kept, with the usual headers around
// it, and for the long cookie and policy headers some sites send.
constexpr size_t kHeaderBlockMax = 65536;  // the block itself may use one byte less
constexpr size_t kResponseTextMax = 64;    // contentType, server
constexpr size_t kEntityTagMax = 128;
constexpr size_t kProxyHostMax = 256;
constexpr size_t kRealmMax = 48;
constexpr size_t kCredentialMax = 48;  // user, password
constexpr size_t kRefererMax = 1152;
constexpr size_t kUserAgentMax = 128;
constexpr size_t kTargetHostMax = 256;

// The fields read from a response, in the order the application receives them.
struct ResponseSummary {
    int32_t status;           // 0 when the response had no status line
    int32_t responseVersion;  // 10 or 11
    // Sizes and positions are 64-bit: files beyond 4 GiB are downloaded and
    // resumed like any other.
    int64_t contentLength;   // 0 when absent
    int64_t bodyReceived;    // body bytes counted so far
    int64_t rangeFirst;      // from Content-Range of a 206, else 0
    int64_t rangeRemaining;  // total size minus rangeFirst, from Content-Range of a 206
    int64_t totalSize;       // Content-Range total, else Content-Length, else 0
    int32_t date;            // seconds since 1970 UTC; 0 when absent or unreadable
    int32_t lastModified;    // same
    // The name the server suggests, decoded (received_name.h); in the
    // summary the application receives, the local file's name.
    char fileName[kReceivedNameMax + 1];
    NameCharset fileNameCharset;
    char entityTag[kEntityTagMax + 1];  // ETag as received; empty when absent
    int64_t unsatisfiedTotal;           // the size a 416's Content-Range names; 0 when none
    char contentType[kResponseTextMax + 1];
    char server[kResponseTextMax + 1];
    int32_t acceptsRanges;  // Accept-Ranges names bytes
};

struct HttpExchange {
    // Request parameters: set by the job when it starts, kept across
    // redirects and authentication retries, untouched by the resets.
    int32_t method;       // kMethodGet, kMethodPost, kMethodHead
    int32_t version;      // kHttpVersion09, 10, 11
    int64_t bodyLength;   // Content-Length sent with POST
    int64_t rangeStart;   // first byte wanted; 0 from the start
    int64_t rangeLength;  // bytes wanted; 0 to the end

    // Response reader state.
    char headerBuffer[kHeaderBlockMax + 1];
    int32_t lineStart;        // position of the current line in headerBuffer
    int32_t filled;           // bytes stored in headerBuffer
    int32_t headersComplete;  // 1 once the empty line has arrived
    int32_t interimHeads;     // 1xx heads skipped before the final one
    int32_t contentLengthSeen;
    int32_t locationSeen;  // the final head named where the file moved
    int32_t chunked;       // the body comes with Transfer-Encoding: chunked
    ChunkedBody chunkedBody;

    // Response fields.
    ResponseSummary response;

    // Connection settings.
    char proxyHost[kProxyHostMax + 1];  // empty: no proxy; an IPv6 literal without brackets
    uint16_t proxyPort;
    int32_t authScheme;  // kAuthNone, kAuthBasic, kAuthUnsupported
    char realm[kRealmMax + 1];
    UrlParts url;  // the URL being fetched; redirects replace it
    char user[kCredentialMax + 1];
    char password[kCredentialMax + 1];
    char referer[kRefererMax + 1];
    char userAgent[kUserAgentMax + 1];
    char proxyUser[kCredentialMax + 1];  // the proxy's own login; empty: none
    char proxyPassword[kCredentialMax + 1];
};

// Where the job connects: the proxy when one is set, else the URL's host.
struct ConnectTarget {
    char host[kTargetHostMax + 1];  // an IPv6 literal without brackets
    uint16_t port;
};

// Empties every text, zeroes every number except proxyPort (8080), resets the
// URL. The request parameters keep their values.
void ResetExchange(HttpExchange& exchange);

// The response's file name (and its charset) from the last segment of the
// URL's path, decoded.
void TakeUrlFileName(HttpExchange& exchange);

// Copy of the response fields.
ResponseSummary TakeSummary(const HttpExchange& exchange);

// proxyHost and proxyPort when proxyHost is not empty, else url.host and url.port.
ConnectTarget ComputeTarget(const HttpExchange& exchange);

// An https URL never goes to the proxy in the clear: the proxy is asked for a
// CONNECT tunnel, and the request travels inside it in the origin form.
bool UsesProxyTunnel(const HttpExchange& exchange);

// A proxy that sees the request itself (plain http through the proxy).
bool UsesProxyForm(const HttpExchange& exchange);

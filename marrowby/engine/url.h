// URL splitting and relative reference resolution.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/text_helpers.h"  // SameTextIgnoringCase, for schemes and hosts

constexpr int32_t kSchemeOther = 0;
constexpr int32_t kSchemeHttp = 1;
constexpr int32_t kSchemeFtp = 2;
constexpr int32_t kSchemeHttps = 3;

constexpr uint16_t kHttpDefaultPort = 80;
constexpr uint16_t kFtpDefaultPort = 21;
constexpr uint16_t kHttpsDefaultPort = 443;

// Longest text each field holds; the arrays have one more byte for the NUL.
constexpr size_t kUrlSchemeTextMax = 32;
constexpr size_t kUrlUserMax = 48;
constexpr size_t kUrlPasswordMax = 48;
constexpr size_t kUrlHostMax = 256;
constexpr size_t kUrlFileNameMax = 64;

// Longest URL kept whole: signed download links run to several KB. A longer
// URL, reference or resolved path is refused (kUrlTooLong), never cut.
constexpr size_t kUrlTextMax = 8192;
constexpr size_t kUrlPathMax = kUrlTextMax;
constexpr size_t kUrlWorkMax = kUrlTextMax;

// Results of ParseUrl besides 0.
constexpr int32_t kUrlNoScheme = 1;  // no colon
constexpr int32_t kUrlBadHost = 2;   // a bracketed host that is no IPv6 literal
constexpr int32_t kUrlTooLong = 3;   // longer than kUrlTextMax

// A host written as text (URL, Host header, CONNECT line): an IPv6 literal
// gets its brackets back, so two more bytes than the host itself.
constexpr size_t kHostTextSize = kUrlHostMax + 3;

struct UrlParts {
    int32_t scheme;                          // kSchemeHttp, kSchemeHttps, kSchemeFtp or kSchemeOther
    char schemeText[kUrlSchemeTextMax + 1];  // as written
    char user[kUrlUserMax + 1];              // empty when the URL has none
    char password[kUrlPasswordMax + 1];      // empty when the URL has none
    char host[kUrlHostMax + 1];              // name, dotted address, or IPv6 literal without brackets
    char path[kUrlPathMax + 1];              // from its leading slash, query included
    char fileName[kUrlFileNameMax + 1];      // last path segment without query
    uint16_t port;
};

// Scheme 0, every text empty, port 0.
void ResetUrl(UrlParts& parts);

// Parses `absolute` (when not null) into parts, which the caller has reset;
// then resolves `relative` (when not null) against parts.path.
// A relative reference is resolved as a browser does: "." and ".." segments
// are taken out (".." never climbs above the root), a reference that is only
// a query keeps the base's path. Returns 0; kUrlNoScheme when the absolute
// text has no colon (parts unchanged); kUrlBadHost when the host is bracketed but is no
// IPv6 literal, or text other than a port follows the closing bracket;
// kUrlTooLong when either text or the resolved path is longer than
// kUrlTextMax (parts then unchanged by that text).
int32_t ParseUrl(const char* absolute, const char* relative, UrlParts& parts);

// Splits the text "host[:port]", where host may be an IPv6 literal in
// brackets ("[::1]:8080"), into host (without the brackets, cut to
// hostCapacity) and port (the low 16 bits of the decimal number after the
// colon; an empty number gives 0). port is left as it is when the text names
// none. Returns 0 or kUrlBadHost (host then empty).
int32_t SplitHostPort(const char* text, char* host, size_t hostCapacity, uint16_t& port);

// True for a host that is an IPv6 literal: no other host holds a colon.
bool IsIpv6Literal(const char* host);

// host as it is written in a URL or a header: an IPv6 literal in brackets.
// out holds capacity bytes (kHostTextSize for any host); returns out.
const char* HostText(const char* host, char* out, size_t capacity);

// True for the schemes that are downloaded: http and https. Every place
// that takes a URL to download asks this and refuses anything else.
bool IsDownloadableScheme(int32_t scheme);

// The port a URL of the scheme has when it names none; 0 for other schemes.
uint16_t DefaultPortOf(int32_t scheme);

// URL splitting and relative reference resolution.
#pragma once

#include <cstddef>
#include <cstdint>

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
constexpr size_t kUrlPathMax = 768;
constexpr size_t kUrlFileNameMax = 64;

// Longest URL or reference text that parsing looks at; the rest is ignored.
constexpr size_t kUrlWorkMax = 1152;

struct UrlParts {
    int32_t scheme;                            // kSchemeHttp, kSchemeHttps, kSchemeFtp or kSchemeOther
    char schemeText[kUrlSchemeTextMax + 1];    // as written
    char user[kUrlUserMax + 1];                // empty when the URL has none
    char password[kUrlPasswordMax + 1];        // empty when the URL has none
    char host[kUrlHostMax + 1];
    char path[kUrlPathMax + 1];                // from its leading slash, query included
    char fileName[kUrlFileNameMax + 1];        // last path segment without query
    uint16_t port;
};

// Scheme 0, every text empty, port 0.
void ResetUrl(UrlParts& parts);

// Parses `absolute` (when not null) into parts, which the caller has reset;
// then resolves `relative` (when not null) against parts.path.
// Returns 0, or 1 when the absolute text has no colon (parts unchanged) or the
// relative reference climbs above the root (path keeps what was built so far).
int32_t ParseUrl(const char* absolute, const char* relative, UrlParts& parts);

// True for the schemes that are downloaded: http and https. Every place
// that takes a URL to download asks this and refuses anything else.
bool IsDownloadableScheme(int32_t scheme);

// The port a URL of the scheme has when it names none; 0 for other schemes.
uint16_t DefaultPortOf(int32_t scheme);

// 0 when a and b are equal with A-Z folded to lower case, else 1.
// A null text counts as empty.
int32_t SameTextIgnoringCase(const char* a, const char* b);

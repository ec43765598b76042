// The status line and the header lines of a completed header block.
#include <cstring>

#include "common/bounded_text.h"
#include "marrowby/engine/http_date.h"
#include "marrowby/engine/http_result.h"
#include "marrowby/engine/name_cut.h"
#include "marrowby/engine/response_internal.h"
#include "common/text_helpers.h"

namespace {

constexpr char kStatusMarker[] = "HTTP/1.";
constexpr size_t kStatusMarkerLength = sizeof kStatusMarker - 1;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

const char* SkipSpaces(const char* p)
{
    while (*p == ' ') ++p;
    return p;
}

// Position of the first "HTTP/1." in the block, or -1. Searches by length
// so that a NUL byte received in the block cannot end the search early.
long FindStatusMarker(const char* block, size_t length)
{
    for (size_t i = 0; i + kStatusMarkerLength <= length; ++i) {
        if (std::memcmp(block + i, kStatusMarker, kStatusMarkerLength) == 0) return static_cast<long>(i);
    }
    return -1;
}

// Two different lengths, in one list or in two headers, leave no way to
// tell where the body ends: the response is refused. Equal repeats are one.
int32_t ApplyContentLength(HttpExchange& exchange, const char* value)
{
    for (const char* p = value;; ++p) {
        // A length beyond 64 bits cannot be counted against: the response is
        // refused. A negative one, or no number at all, cannot tell where the
        // body ends; it is taken as absent.
        int64_t length = 0;
        if (!ReadDecimal64(p, length)) return kHttpMalformed;
        if (length < 0 || !IsDigit(p[std::strspn(p, " \t")])) return kHttpOk;
        if (exchange.contentLengthSeen && length != exchange.response.contentLength) return kHttpMalformed;
        exchange.response.contentLength = length;
        exchange.contentLengthSeen = 1;
        p = std::strchr(p, ',');
        if (p == nullptr) return kHttpOk;
    }
}

// Only the chunked coding can be taken off here; a body in any other (gzip)
// would be saved as something else than the file, so it is refused.
int32_t ApplyTransferEncoding(HttpExchange& exchange, const char* value)
{
    const char* p = value;
    while (*p != '\0') {
        while (*p == ' ' || *p == '\t' || *p == ',') ++p;
        size_t length = std::strcspn(p, ",");
        size_t trimmed = length;
        while (trimmed > 0 && (p[trimmed - 1] == ' ' || p[trimmed - 1] == '\t')) --trimmed;
        if (trimmed == 0) break;
        if (SameTextIgnoringCase(p, trimmed, "identity") != 0) {
            // chunked is always the last coding; nothing may follow it.
            if (exchange.chunked || SameTextIgnoringCase(p, trimmed, "chunked") != 0) return kHttpMalformed;
            exchange.chunked = 1;
        }
        p += length;
    }
    return kHttpOk;
}

int32_t ApplyContentType(HttpExchange& exchange, const char* value)
{
    char* type = exchange.response.contentType;
    mw_text::Copy(exchange.response.contentType, value);
    type[std::strcspn(type, ";")] = '\0';
    return kHttpOk;
}

int32_t ApplyServer(HttpExchange& exchange, const char* value)
{
    mw_text::Copy(exchange.response.server, value);
    return kHttpOk;
}

int32_t ApplyContentRange(HttpExchange& exchange, const char* value)
{
    exchange.response.rangeFirst = 0;
    exchange.response.rangeRemaining = 0;
    if (exchange.response.status == 416) {
        // "bytes */total": how long the file is that the range missed.
        const char* total = std::strstr(value, "*/");
        int64_t size = 0;
        if (total != nullptr && ReadDecimal64(total + 2, size) && size > 0) exchange.response.unsatisfiedTotal = size;
        return kHttpOk;
    }
    if (exchange.response.status != 206) return kHttpOk;
    return ParseContentRange(exchange, value);
}

int32_t ApplyAuthenticate(HttpExchange& exchange, const char* value)
{
    if (exchange.response.status != 401) return kHttpOk;
    return ParseAuthChallenge(exchange, value);
}

int32_t ApplyDisposition(HttpExchange& exchange, const char* value)
{
    ParseContentDisposition(exchange, value);  // a disposition not understood is ignored
    return kHttpOk;
}

int32_t ApplyLastModified(HttpExchange& exchange, const char* value)
{
    ParseHttpDate(value, exchange.response.lastModified);  // unreadable: unchanged
    return kHttpOk;
}

int32_t ApplyDate(HttpExchange& exchange, const char* value)
{
    ParseHttpDate(value, exchange.response.date);
    return kHttpOk;
}

int32_t ApplyEntityTag(HttpExchange& exchange, const char* value)
{
    mw_text::Copy(exchange.response.entityTag, value);
    return kHttpOk;
}

// Only "bytes" says that a range of this file may be asked for.
int32_t ApplyAcceptRanges(HttpExchange& exchange, const char* value)
{
    const char* p = value;
    while (*p == ' ' || *p == '\t') ++p;
    size_t length = std::strcspn(p, " \t,");
    exchange.response.acceptsRanges = SameTextIgnoringCase(p, length, "bytes") == 0 && length == 5 ? 1 : 0;
    return kHttpOk;
}

struct KnownHeader {
    const char* name;
    int32_t (*apply)(HttpExchange&, const char*);
};

// Looked up in this order; the first match wins.
const KnownHeader kKnownHeaders[] = {
    {"Content-Length", ApplyContentLength},
    {"Content-Type", ApplyContentType},
    {"Server", ApplyServer},
    {"Content-Range", ApplyContentRange},
    {"WWW-Authenticate", ApplyAuthenticate},
    {"Content-Disposition", ApplyDisposition},
    {"Last-Modified", ApplyLastModified},
    {"Date", ApplyDate},
    {"Location", ApplyLocation},
    {"ETag", ApplyEntityTag},
    {"Transfer-Encoding", ApplyTransferEncoding},
    {"Accept-Ranges", ApplyAcceptRanges},
};

}  // namespace

// "HTTP/1.x ddd" at the start of the block, the code of exactly three digits
// from 100 to 599 followed by a space or the line end, and no NUL in the
// line: anything else is no answer this client can judge.
int32_t ParseStatusLine(HttpExchange& exchange)
{
    const char* block = exchange.headerBuffer;
    const size_t filled = static_cast<size_t>(exchange.filled);

    if (filled < kStatusMarkerLength || std::memcmp(block, kStatusMarker, kStatusMarkerLength) != 0) {
        // An HTTP/0.9 server answers without a status line.
        if (exchange.version == kHttpVersion09 && FindStatusMarker(block, filled) < 0) return kHttpOk;
        return kHttpMalformed;
    }
    const void* linefeed = std::memchr(block, '\n', filled);
    if (linefeed == nullptr) return kHttpMalformed;  // a completed block always has one
    const size_t lineLength = static_cast<size_t>(static_cast<const char*>(linefeed) - block);
    if (std::memchr(block, '\0', lineLength) != nullptr) return kHttpMalformed;

    // "HTTP/1.1 200" is 12 characters; the 13th ends the code.
    constexpr size_t kCodeEnd = kStatusMarkerLength + 5;
    if (lineLength < kCodeEnd) return kHttpMalformed;
    const char* version = block + kStatusMarkerLength;
    if (version[0] == '0') {
        exchange.response.responseVersion = kHttpVersion10;
    } else if (version[0] == '1') {
        exchange.response.responseVersion = kHttpVersion11;
    } else {
        return kHttpMalformed;
    }
    const char* code = version + 2;
    const char after = block[kCodeEnd];
    if (version[1] != ' ' || !IsDigit(code[0]) || !IsDigit(code[1]) || !IsDigit(code[2]) ||
        (after != ' ' && !IsLineEnd(after))) {
        return kHttpMalformed;
    }
    const int32_t status = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
    if (status < 100 || status > 599) return kHttpMalformed;
    exchange.response.status = status;
    exchange.lineStart = static_cast<int32_t>(lineLength + 1);
    return kHttpOk;
}

int32_t ParseHeaderLines(HttpExchange& exchange)
{
    char* block = exchange.headerBuffer;
    const size_t filled = static_cast<size_t>(exchange.filled);
    size_t pos = static_cast<size_t>(exchange.lineStart);

    while (pos < filled && !IsLineEnd(block[pos])) {
        size_t colon = pos;
        while (colon < filled && block[colon] != ':' && block[colon] != '\n') ++colon;
        if (colon >= filled || block[colon] == '\n') return kHttpOk;  // no colon: stop reading

        size_t valueStart = colon + 1;
        while (valueStart < filled && block[valueStart] == ' ') ++valueStart;
        size_t valueEnd = valueStart;
        while (valueEnd < filled && !IsLineEnd(block[valueEnd])) ++valueEnd;
        size_t next = valueEnd;
        while (next < filled && block[next] != '\n') ++next;
        if (valueEnd >= filled) return kHttpMalformed;  // a completed block always ends in a line feed

        // Cut name and value in place, and put the cut characters back so the
        // block stays intact for the next line.
        const char cutEnd = block[valueEnd];
        block[colon] = '\0';
        block[valueEnd] = '\0';
        const int32_t result = ApplyHeader(exchange, block + pos, colon - pos, block + valueStart);
        block[colon] = ':';
        block[valueEnd] = cutEnd;
        if (result != kHttpOk) return kHttpMalformed;

        pos = next + 1;
    }
    return kHttpOk;
}

int32_t ApplyHeader(HttpExchange& exchange, const char* name, size_t nameLength, const char* value)
{
    // A received name matches a known name that begins with it. Letter case
    // does not count: many servers send every name in lower case.
    for (const KnownHeader& header : kKnownHeaders) {
        if (nameLength <= std::strlen(header.name) && SameTextIgnoringCase(header.name, nameLength, name) == 0) {
            return header.apply(exchange, value) == kHttpOk ? kHttpOk : kHttpMalformed;
        }
    }
    return kHttpOk;
}

int32_t ParseContentRange(HttpExchange& exchange, const char* value)
{
    const char* p = value;
    while (*p != '\0' && !IsDigit(*p)) ++p;
    if (*p == '\0') return kHttpMalformed;

    // Each number must fit into 64 bits; one that does not is refused
    // rather than taken as some other position.
    const char* dash = std::strchr(p, '-');
    if (dash == nullptr) return kHttpMalformed;
    int64_t first = 0;
    if (!ReadDecimal64(p, first)) return kHttpMalformed;

    const char* slash = std::strchr(dash + 1, '/');
    if (slash == nullptr) return kHttpMalformed;
    int64_t last = 0;
    if (!ReadDecimal64(dash + 1, last) || first > last) return kHttpMalformed;

    int64_t total = 0;
    if (!ReadDecimal64(slash + 1, total) || total <= last) return kHttpMalformed;

    exchange.response.rangeFirst = first;
    exchange.response.totalSize = total;
    exchange.response.rangeRemaining = total - first;  // first >= 0, so no overflow
    return kHttpOk;
}

int32_t ParseAuthChallenge(HttpExchange& exchange, const char* value)
{
    const char* space = std::strchr(value, ' ');
    if (space == nullptr) return kHttpMalformed;
    if (SameTextIgnoringCase(value, static_cast<size_t>(space - value), "basic") != 0) return kHttpMalformed;
    exchange.authScheme = kAuthBasic;

    // A name runs to "=" or ","; a comma starts a new name. Only the realm's
    // value is read: scanning resumes after its closing mark, and right after
    // the "=" of any other name.
    const char* p = space + 1;
    for (;;) {
        p = SkipSpaces(p);
        const char* nameEnd = p + std::strcspn(p, "=,");
        if (*nameEnd == '\0') return kHttpOk;
        const char* after = nameEnd + 1;
        if (*nameEnd == '=' && SameTextIgnoringCase(p, static_cast<size_t>(nameEnd - p), "realm") == 0) {
            if (*after != '"') return kHttpMalformed;
            const char* close = std::strchr(after + 1, '"');
            if (close == nullptr) return kHttpMalformed;
            mw_text::CopyN(exchange.realm, after + 1, static_cast<size_t>(close - after - 1));
            after = close + 1;
        }
        p = after;
    }
}

int32_t ParseContentDisposition(HttpExchange& exchange, const char* value)
{
    ResponseSummary& response = exchange.response;
    return NameFromDisposition(value, response.fileName, sizeof response.fileName, response.fileNameCharset);
}

namespace {

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A scheme is a letter followed by letters, digits, "+", "-" or "." up to
// the first colon. Anything else before a colon ("/get?t=12:00", "a/b:c")
// makes the value a reference relative to the current URL.
bool StartsWithScheme(const char* value)
{
    if (!IsAsciiLetter(value[0])) return false;
    for (const char* p = value + 1; *p != '\0'; ++p) {
        if (*p == ':') return true;
        if (!IsAsciiLetter(*p) && !(*p >= '0' && *p <= '9') && *p != '+' && *p != '-' && *p != '.') return false;
    }
    return false;
}

}  // namespace

int32_t ApplyLocation(HttpExchange& exchange, const char* value)
{
    // An empty value names no other place: the answer is taken as final.
    if (value[0] == '\0') return kHttpOk;
    // A network-path reference ("//host:port/path") keeps the current scheme.
    char withScheme[kUrlSchemeTextMax + 1 + kUrlWorkMax + 1];
    if (value[0] == '/' && value[1] == '/') {
        mw_text::Copy(withScheme, exchange.url.schemeText);
        mw_text::Append(withScheme, sizeof withScheme, ":");
        mw_text::Append(withScheme, sizeof withScheme, value);
        value = withScheme;
    }
    UrlParts target;
    ResetUrl(target);
    const int32_t parsed = StartsWithScheme(value) ? ParseUrl(value, nullptr, target) : kUrlNoScheme;
    if (parsed == kUrlNoScheme) {
        if (ParseUrl(nullptr, value, exchange.url) != 0) return kHttpMalformed;
        TakeUrlFileName(exchange);
        exchange.locationSeen = 1;
        return kHttpOk;
    }
    if (parsed != 0 || !IsDownloadableScheme(target.scheme)) return kHttpMalformed;

    exchange.url = target;
    TakeUrlFileName(exchange);
    if (target.user[0] != '\0' && target.password[0] != '\0') {
        mw_text::Copy(exchange.user, target.user);
        mw_text::Copy(exchange.password, target.password);
    }
    exchange.locationSeen = 1;
    return kHttpOk;
}

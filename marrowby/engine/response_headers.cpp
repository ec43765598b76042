// The status line and the header lines of a completed header block.
#include <cstring>

#include "common/bounded_text.h"
#include "marrowby/engine/http_date.h"
#include "marrowby/engine/http_result.h"
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

int32_t ApplyContentLength(HttpExchange& exchange, const char* value)
{
    // A length beyond 64 bits cannot be counted against: the response is
    // refused. A negative one would make the body count negative; it is
    // taken as absent.
    int64_t length = 0;
    if (!ReadDecimal64(value, length)) return kHttpMalformed;
    exchange.response.contentLength = length < 0 ? 0 : length;
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
};

}  // namespace

int32_t ParseStatusLine(HttpExchange& exchange)
{
    const char* block = exchange.headerBuffer;
    const size_t filled = static_cast<size_t>(exchange.filled);

    const long marker = FindStatusMarker(block, filled);
    if (marker < 0) {
        // An HTTP/0.9 server answers without a status line.
        return exchange.version == kHttpVersion09 ? kHttpOk : kHttpMalformed;
    }
    if (filled < 12) return kHttpMalformed;

    const size_t digit = static_cast<size_t>(marker) + kStatusMarkerLength;
    if (digit >= filled) return kHttpMalformed;
    if (block[digit] == '0') {
        exchange.response.responseVersion = kHttpVersion10;
    } else if (block[digit] == '1') {
        exchange.response.responseVersion = kHttpVersion11;
    } else {
        return kHttpMalformed;
    }

    // The three characters two after the digit, but never beyond the block.
    char status[4] = {};
    for (size_t i = 0; i < 3 && digit + 2 + i < filled; ++i) status[i] = block[digit + 2 + i];
    exchange.response.status = ParseDecimal(status);

    const void* linefeed = std::memchr(block, '\n', filled);
    if (linefeed == nullptr) return kHttpMalformed;  // a completed block always has one
    exchange.lineStart = static_cast<int32_t>(static_cast<const char*>(linefeed) - block + 1);
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
    // A received name matches a known name that begins with it.
    for (const KnownHeader& header : kKnownHeaders) {
        if (nameLength <= std::strlen(header.name) && std::memcmp(header.name, name, nameLength) == 0) {
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

int32_t ApplyLocation(HttpExchange& exchange, const char* value)
{
    UrlParts target;
    ResetUrl(target);
    const int32_t parsed = ParseUrl(value, nullptr, target);
    if (parsed == kUrlNoScheme) {
        // No colon: a reference relative to the current URL.
        if (ParseUrl(nullptr, value, exchange.url) != 0) return kHttpMalformed;
        TakeUrlFileName(exchange);
        return kHttpOk;
    }
    if (parsed != 0 || !IsDownloadableScheme(target.scheme)) return kHttpMalformed;

    exchange.url = target;
    TakeUrlFileName(exchange);
    if (target.user[0] != '\0' && target.password[0] != '\0') {
        mw_text::Copy(exchange.user, target.user);
        mw_text::Copy(exchange.password, target.password);
    }
    return kHttpOk;
}

#include "marrowby/engine/request.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "marrowby/engine/base64.h"
#include "marrowby/engine/decimal.h"
#include "marrowby/engine/http_result.h"

namespace {

// Appends formatted text while measuring it against the capacity; once one
// piece does not fit, the writer stays failed and writes nothing more.
struct RequestWriter {
    char* buffer;
    size_t capacity;
    size_t length;
    bool overflow;
};

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void Append(RequestWriter& writer, const char* format, ...)
{
    if (writer.overflow) return;
    const size_t room = writer.capacity - writer.length;
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(writer.buffer + writer.length, room, format, args);
    va_end(args);
    if (written < 0 || static_cast<size_t>(written) >= room) {
        writer.overflow = true;
        return;
    }
    writer.length += static_cast<size_t>(written);
}

// Bytes that may stand in a request target as they are: everything printable
// in ASCII except what RFC 3986 leaves out and what servers refuse.
bool MayStandInTarget(unsigned char c)
{
    return c > 0x20 && c < 0x7F && strchr("\"<>\\^`{|}", c) == nullptr;
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The path and query as a request line carries them: spaces, controls and
// bytes beyond ASCII (UTF-8 by then) as %XX, an escape that is already there
// kept, a "%" that starts none escaped itself; a fragment is never sent.
void AppendTarget(RequestWriter& writer, const char* path)
{
    for (const char* p = path; *p != '\0' && *p != '#' && !writer.overflow; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        const bool escape = c == '%' && IsHexDigit(p[1]) && IsHexDigit(p[2]);
        if (escape || (c != '%' && MayStandInTarget(c))) {
            Append(writer, "%c", *p);
        } else {
            Append(writer, "%%%02X", c);
        }
    }
}

const char* MethodText(int32_t method)
{
    switch (method) {
    case kMethodGet: return "GET";
    case kMethodPost: return "POST";
    case kMethodHead: return "HEAD";
    default: return nullptr;
    }
}

const char* VersionText(int32_t version)
{
    switch (version) {
    case kHttpVersion09: return "";
    case kHttpVersion10: return " HTTP/1.0";
    case kHttpVersion11: return " HTTP/1.1";
    default: return nullptr;
    }
}

// The Range header of a request for length bytes from start (0: to the
// end). A last byte beyond the 64-bit range asks for the rest of the file,
// which is what such a length means.
void AppendRange(RequestWriter& writer, int64_t start, int64_t length)
{
    char first[kDecimal64TextSize];
    char last[kDecimal64TextSize];
    if (start < 0 || length < 0 || (start == 0 && length == 0)) return;
    FormatDecimal64(start, first, sizeof first);
    if (length == 0 || length - 1 > INT64_MAX - start) {
        Append(writer, "Range: bytes=%s-\r\n", first);
        return;
    }
    Append(writer, "Range: bytes=%s-%s\r\n", first, FormatDecimal64(start + (length - 1), last, sizeof last));
}

// Maximal Base64 text of "user:password", for either login.
struct BasicToken {
    char text[Base64EncodedSize(2 * kCredentialMax + 1)];
};

BasicToken EncodeLogin(const char* user, const char* password)
{
    char plain[kCredentialMax + 1 + kCredentialMax + 1];
    const int plainLength = std::snprintf(plain, sizeof plain, "%s:%s", user, password);
    const size_t inputLength = plainLength < 0 ? 0 : static_cast<size_t>(plainLength);
    BasicToken token;
    EncodeBase64(token.text, sizeof token.text, plain, inputLength < sizeof plain ? inputLength : sizeof plain - 1);
    return token;
}

int32_t Fail(char* buffer, size_t capacity, size_t& length, int32_t code)
{
    if (capacity > 0) buffer[0] = '\0';
    length = 0;
    return code;
}

}  // namespace

int32_t ComposeRequest(const HttpExchange& exchange, char* buffer, size_t capacity, size_t& length)
{
    const char* method = MethodText(exchange.method);
    const char* version = VersionText(exchange.version);
    if (method == nullptr || version == nullptr) return Fail(buffer, capacity, length, kHttpBadMethodOrVersion);
    if (exchange.version != kHttpVersion09 && exchange.authScheme == kAuthUnsupported) {
        return Fail(buffer, capacity, length, kHttpAuthSchemeUnsupported);
    }
    if (capacity == 0) return Fail(buffer, capacity, length, kHttpRequestTooLong);

    RequestWriter writer{buffer, capacity, 0, false};
    const UrlParts& url = exchange.url;
    const bool proxyForm = UsesProxyForm(exchange);
    char host[kHostTextSize];
    HostText(url.host, host, sizeof host);
    if (proxyForm) {
        Append(writer, "%s http://%s:%u", method, host, unsigned{url.port});
    } else {
        Append(writer, "%s ", method);
    }
    AppendTarget(writer, url.path);
    Append(writer, "%s\r\n", version);
    if (exchange.version == kHttpVersion09) {
        // An HTTP/0.9 request has no headers.
        Append(writer, "\r\n");
    } else {
        const uint16_t defaultPort = url.scheme == kSchemeHttps ? kHttpsDefaultPort : kHttpDefaultPort;
        if (url.port == defaultPort) {
            Append(writer, "Host: %s\r\n", host);
        } else {
            Append(writer, "Host: %s:%u\r\n", host, unsigned{url.port});
        }
        if (exchange.method == kMethodPost) {
            char bodyLength[kDecimal64TextSize];
            Append(writer, "Content-Length: %s\r\n",
                   FormatDecimal64(exchange.bodyLength, bodyLength, sizeof bodyLength));
        }
        if (exchange.referer[0] != '\0') Append(writer, "Referer: %s\r\n", exchange.referer);
        if (exchange.userAgent[0] != '\0') Append(writer, "User-Agent: %s\r\n", exchange.userAgent);
        AppendRange(writer, exchange.rangeStart, exchange.rangeLength);
        Append(writer, "Accept: */*\r\nConnection: close\r\n");
        if (exchange.authScheme == kAuthBasic && !writer.overflow) {
            char line[kBasicCredentialsLineMax + 1];
            ComposeBasicCredentials(exchange, line, sizeof line);
            Append(writer, "%s", line);
        }
        // Only the proxy that reads this request may see its own login.
        if (proxyForm && HasProxyLogin(exchange) && !writer.overflow) {
            char line[kProxyCredentialsLineMax + 1];
            ComposeProxyCredentials(exchange, line, sizeof line);
            Append(writer, "%s", line);
        }
        Append(writer, "\r\n");
    }

    if (writer.overflow) return Fail(buffer, capacity, length, kHttpRequestTooLong);
    length = writer.length;
    return kHttpOk;
}

size_t ComposeBasicCredentials(const HttpExchange& exchange, char* buffer, size_t capacity)
{
    if (capacity < kBasicCredentialsLineMax + 1) {
        if (capacity > 0) buffer[0] = '\0';
        return 0;
    }
    BasicToken token = EncodeLogin(exchange.user, exchange.password);
    char* encoded = token.text;
    // 76 characters carry exactly 57 bytes; the end of a longer text is lost.
    static_assert(sizeof token.text > 76, "room for the cut");
    encoded[76] = '\0';

    const int written = std::snprintf(buffer, capacity, "Authorization: Basic %s\r\n", encoded);
    return written < 0 ? 0 : static_cast<size_t>(written);
}

bool HasProxyLogin(const HttpExchange& exchange)
{
    return exchange.proxyUser[0] != '\0' || exchange.proxyPassword[0] != '\0';
}

size_t ComposeProxyCredentials(const HttpExchange& exchange, char* buffer, size_t capacity)
{
    if (capacity > 0) buffer[0] = '\0';
    if (!HasProxyLogin(exchange) || capacity < kProxyCredentialsLineMax + 1) return 0;
    BasicToken token = EncodeLogin(exchange.proxyUser, exchange.proxyPassword);
    const int written = std::snprintf(buffer, capacity, "Proxy-Authorization: Basic %s\r\n", token.text);
    return written < 0 ? 0 : static_cast<size_t>(written);
}

#include "marrowby/engine/http_exchange.h"

#include <cstring>

#include "common/bounded_text.h"

void ResetExchange(HttpExchange& exchange)
{
    // The request parameters survive: the job sets them when it starts.
    const int32_t method = exchange.method;
    const int32_t version = exchange.version;
    const int64_t bodyLength = exchange.bodyLength;
    const int64_t rangeStart = exchange.rangeStart;
    const int64_t rangeLength = exchange.rangeLength;

    std::memset(&exchange, 0, sizeof exchange);

    exchange.method = method;
    exchange.version = version;
    exchange.bodyLength = bodyLength;
    exchange.rangeStart = rangeStart;
    exchange.rangeLength = rangeLength;
    exchange.proxyPort = kDefaultProxyPort;
    exchange.authScheme = kAuthNone;
    exchange.lineStart = 0;
    ResetUrl(exchange.url);
}

void TakeUrlFileName(HttpExchange& exchange)
{
    ResponseSummary& response = exchange.response;
    response.fileNameCharset = NameFromUrlPath(exchange.url.path, response.fileName, sizeof response.fileName);
}

ResponseSummary TakeSummary(const HttpExchange& exchange)
{
    return exchange.response;
}

ConnectTarget ComputeTarget(const HttpExchange& exchange)
{
    ConnectTarget target;
    if (exchange.proxyHost[0] != '\0') {
        mw_text::Copy(target.host, exchange.proxyHost);
        target.port = exchange.proxyPort;
    } else {
        mw_text::Copy(target.host, exchange.url.host);
        target.port = exchange.url.port;
    }
    return target;
}

bool UsesProxyTunnel(const HttpExchange& exchange)
{
    return exchange.proxyHost[0] != '\0' && exchange.url.scheme == kSchemeHttps;
}

bool UsesProxyForm(const HttpExchange& exchange)
{
    return exchange.proxyHost[0] != '\0' && exchange.url.scheme != kSchemeHttps;
}

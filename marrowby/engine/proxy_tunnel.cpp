#include "marrowby/engine/proxy_tunnel.h"

#include <cstdio>
#include <cstring>

#include "marrowby/engine/http_result.h"
#include "marrowby/engine/request.h"

namespace {

// "HTTP/1.x NNN": the status, or -1 when the head does not start that way.
int32_t ReadStatus(const char* head)
{
    if (std::strncmp(head, "HTTP/1.", 7) != 0 || (head[7] != '0' && head[7] != '1') || head[8] != ' ') return -1;
    int32_t status = 0;
    for (int i = 9; i < 12; ++i) {
        if (head[i] < '0' || head[i] > '9') return -1;
        status = status * 10 + (head[i] - '0');
    }
    return status;
}

// True when the byte just stored at position `last` ends an empty line.
bool EndsHead(const TunnelAnswer& answer, size_t last)
{
    if (answer.head[last] != '\n') return false;
    if (last >= 1 && answer.head[last - 1] == '\n') return true;
    return last >= 2 && answer.head[last - 1] == '\r' && answer.head[last - 2] == '\n';
}

}  // namespace

int32_t ComposeConnectRequest(const HttpExchange& exchange, char* buffer, size_t capacity, size_t& length)
{
    length = 0;
    if (capacity == 0) return kHttpRequestTooLong;
    buffer[0] = '\0';
    char agent[sizeof "User-Agent: \r\n" + kUserAgentMax];
    agent[0] = '\0';
    if (exchange.userAgent[0] != '\0') std::snprintf(agent, sizeof agent, "User-Agent: %s\r\n", exchange.userAgent);
    char login[kProxyCredentialsLineMax + 1];
    ComposeProxyCredentials(exchange, login, sizeof login);

    const UrlParts& url = exchange.url;
    char host[kHostTextSize];
    HostText(url.host, host, sizeof host);
    const int written = std::snprintf(buffer, capacity, "CONNECT %s:%u HTTP/1.0\r\nHost: %s:%u\r\n%s%s\r\n", host,
                                      unsigned{url.port}, host, unsigned{url.port}, agent, login);
    if (written < 0 || static_cast<size_t>(written) >= capacity) {
        buffer[0] = '\0';
        return kHttpRequestTooLong;
    }
    length = static_cast<size_t>(written);
    return kHttpOk;
}

void ResetTunnelAnswer(TunnelAnswer& answer)
{
    answer.head[0] = '\0';
    answer.filled = 0;
    answer.status = 0;
}

int32_t FeedTunnelAnswer(TunnelAnswer& answer, const char* data, size_t length, size_t& used)
{
    used = 0;
    while (used < length) {
        if (answer.filled == kTunnelAnswerMax) return kTunnelMalformed;
        const size_t at = answer.filled++;
        answer.head[at] = data[used++];
        answer.head[answer.filled] = '\0';
        // A leading empty line is not the end of a head.
        if (at > 0 && EndsHead(answer, at)) {
            answer.status = ReadStatus(answer.head);
            if (answer.status < 0) return kTunnelMalformed;
            return answer.status >= 200 && answer.status <= 299 ? kTunnelOpen : kTunnelRefused;
        }
    }
    return kTunnelNeedMore;
}

// Parses the input as an absolute URL, or as a base URL and a reference to
// resolve against it (split at the first line feed); splits it as a proxy's
// "host[:port]" too.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "marrowby/engine/url.h"
#include "url_check.h"

namespace {

void CheckParts(const UrlParts& parts)
{
    CheckTerminated(parts.schemeText);
    CheckTerminated(parts.user);
    CheckTerminated(parts.password);
    CheckTerminated(parts.host);
    CheckTerminated(parts.path);
    CheckTerminated(parts.fileName);
    FUZZ_CHECK(parts.scheme == kSchemeOther || parts.scheme == kSchemeHttp || parts.scheme == kSchemeHttps ||
               parts.scheme == kSchemeFtp);
    // The file name never holds a slash: it is the last segment.
    FUZZ_CHECK(std::strchr(parts.fileName, '/') == nullptr);
    CheckHostTextRoundTrip(parts.host, parts.port);
}

void CheckHostPort(const std::string& input)
{
    char host[kUrlHostMax + 1];
    uint16_t port = 8080;
    const int32_t result = SplitHostPort(input.c_str(), host, sizeof host, port);
    FUZZ_CHECK(result == 0 || (result == kUrlBadHost && host[0] == '\0'));
    CheckTerminated(host);
    if (IsIpv6Literal(host)) FUZZ_CHECK(input[0] == '[');
    if (result == 0) CheckHostTextRoundTrip(host, port);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    CheckHostPort(input);
    const size_t newline = input.find('\n');

    UrlParts parts;
    ResetUrl(parts);
    if (newline == std::string::npos) {
        const int32_t result = ParseUrl(input.c_str(), nullptr, parts);
        FUZZ_CHECK(result == 0 || result == kUrlNoScheme || result == kUrlBadHost);
        // Only a bracketed IPv6 literal leaves a colon in the host.
        if (result == 0 && IsIpv6Literal(parts.host)) FUZZ_CHECK(input.find('[') != std::string::npos);
        if (result == 0 && IsDownloadableScheme(parts.scheme)) FUZZ_CHECK(parts.path[0] != '\0');
        CheckParts(parts);
        return 0;
    }

    const std::string base = input.substr(0, newline);
    const std::string reference = input.substr(newline + 1);
    ParseUrl(base.c_str(), nullptr, parts);
    const std::string hostBefore = parts.host;
    const int32_t result = ParseUrl(nullptr, reference.c_str(), parts);
    FUZZ_CHECK(result == 0 || result == 1);
    FUZZ_CHECK(hostBefore == parts.host);
    CheckParts(parts);
    return 0;
}

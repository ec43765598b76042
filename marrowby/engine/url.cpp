#include "marrowby/engine/url.h"

#include <cstring>

#include "common/bounded_text.h"
#include "marrowby/engine/decimal.h"
#include "marrowby/engine/name_cut.h"
#include "common/text_helpers.h"

namespace {

struct KnownScheme {
    const char* text;
    int32_t scheme;
};

const KnownScheme kKnownSchemes[] = {
    {"http", kSchemeHttp},
    {"https", kSchemeHttps},
    {"ftp", kSchemeFtp},
};

// fileName becomes the last segment of `rest` before its query; left as it
// is when rest has no slash.
void TakeFileName(const char* rest, UrlParts& parts)
{
    size_t end = std::strcspn(rest, "?");
    const char* lastSlash = nullptr;
    for (size_t i = 0; i < end; ++i) {
        if (rest[i] == '/') lastSlash = rest + i;
    }
    if (lastSlash == nullptr) return;
    const char* name = lastSlash + 1;
    CopyNameKeepingExtension(parts.fileName, sizeof parts.fileName, name, static_cast<size_t>(rest + end - name));
}

int32_t ParseAbsolute(const char* text, UrlParts& parts)
{
    if (std::strlen(text) > kUrlWorkMax) return kUrlTooLong;
    char work[kUrlWorkMax + 1];
    mw_text::Copy(work, text);

    char* colon = std::strchr(work, ':');
    if (colon == nullptr) return kUrlNoScheme;
    *colon = '\0';
    mw_text::Copy(parts.schemeText, work);
    for (const KnownScheme& known : kKnownSchemes) {
        if (SameTextIgnoringCase(parts.schemeText, known.text) == 0) {
            parts.scheme = known.scheme;
            parts.port = DefaultPortOf(known.scheme);
            break;
        }
    }

    char* rest = colon + 1;
    if (rest[0] == '/' && rest[1] == '/') {
        rest += 2;
    } else if (rest[0] == '/') {
        rest += 1;
    }

    // An at sign after the first slash belongs to the path.
    char* at = std::strchr(rest, '@');
    char* slash = std::strchr(rest, '/');
    if (at != nullptr && (slash == nullptr || slash > at)) {
        *at = '\0';
        char* userColon = std::strchr(rest, ':');
        if (userColon != nullptr) {
            *userColon = '\0';
            mw_text::Copy(parts.password, userColon + 1);
        } else {
            parts.password[0] = '\0';
        }
        mw_text::Copy(parts.user, rest);
        rest = at + 1;
        slash = std::strchr(rest, '/');
    }

    // The host part ends at the slash: cut there for the split, then put
    // the slash back for the path.
    if (slash != nullptr) *slash = '\0';
    const int32_t split = SplitHostPort(rest, parts.host, sizeof parts.host, parts.port);
    if (slash != nullptr) *slash = '/';
    if (split != 0) return split;

    if (slash == nullptr) {
        mw_text::Copy(parts.path, "/");
        return 0;
    }
    mw_text::Copy(parts.path, slash);
    TakeFileName(slash, parts);
    return 0;
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The text between the brackets: hex digits, colons and dots (an IPv4 tail
// as in ::ffff:1.2.3.4), with the two colons every IPv6 text has at least,
// and no longer than the longest such text. Whether it is a valid address is
// left to the name resolution, which is asked for literals only.
bool LooksLikeIpv6(const char* text, size_t length)
{
    constexpr size_t kLongestIpv6Text = 45;
    if (length == 0 || length > kLongestIpv6Text) return false;
    size_t colons = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == ':') {
            ++colons;
        } else if (!IsHexDigit(text[i]) && text[i] != '.') {
            return false;
        }
    }
    return colons >= 2;
}

// Removes the last directory of a base that ends in a slash ("/a/b/" becomes
// "/a/"). Returns false when no directory is left to remove.
bool RemoveLastDirectory(char* base, size_t& length)
{
    if (length < 2) return false;
    size_t i = length - 1;  // base[i] is the closing slash
    while (i > 0) {
        --i;
        if (base[i] == '/') {
            length = i + 1;
            base[length] = '\0';
            return true;
        }
    }
    return false;
}

int32_t ResolveRelative(const char* reference, UrlParts& parts)
{
    if (std::strlen(reference) > kUrlWorkMax) return kUrlTooLong;
    char work[kUrlWorkMax + 1];
    mw_text::Copy(work, reference);

    if (work[0] == '/') {
        mw_text::Copy(parts.path, work);
        TakeFileName(parts.path, parts);
        return 0;
    }

    // Built at full length and cut once at the end, so ".." sees the real base.
    // Sized for the longest path plus the longest reference, so the bounded
    // appends below never cut.
    char built[kUrlPathMax + kUrlWorkMax + 2];
    const char* lastSlash = std::strrchr(parts.path, '/');
    size_t length = lastSlash != nullptr ? static_cast<size_t>(lastSlash - parts.path) + 1 : 0;
    mw_text::CopyN(built, parts.path, length);

    const char* segment = work;
    for (const char* slash = std::strchr(segment, '/'); slash != nullptr;
         segment = slash + 1, slash = std::strchr(segment, '/')) {
        size_t segmentLength = static_cast<size_t>(slash - segment);
        if (segmentLength == 2 && segment[0] == '.' && segment[1] == '.') {
            if (!RemoveLastDirectory(built, length)) {
                mw_text::Copy(parts.path, built);
                return kUrlNoScheme;
            }
        } else if (segmentLength != 0 && segment[0] != '.') {
            length += mw_text::CopyN(built + length, sizeof built - length, segment, segmentLength + 1);
        }
    }
    length += mw_text::Copy(built + length, sizeof built - length, segment);
    if (length > kUrlPathMax) return kUrlTooLong;

    mw_text::Copy(parts.path, built);
    TakeFileName(parts.path, parts);
    return 0;
}

}  // namespace

void ResetUrl(UrlParts& parts)
{
    std::memset(&parts, 0, sizeof parts);
    parts.scheme = kSchemeOther;
    parts.port = 0;
}

int32_t ParseUrl(const char* absolute, const char* relative, UrlParts& parts)
{
    if (absolute != nullptr) {
        const int32_t parsed = ParseAbsolute(absolute, parts);
        if (parsed != 0) return parsed;
    }
    if (relative != nullptr) return ResolveRelative(relative, parts);
    return 0;
}

bool IsDownloadableScheme(int32_t scheme)
{
    return scheme == kSchemeHttp || scheme == kSchemeHttps;
}

uint16_t DefaultPortOf(int32_t scheme)
{
    switch (scheme) {
    case kSchemeHttp: return kHttpDefaultPort;
    case kSchemeHttps: return kHttpsDefaultPort;
    case kSchemeFtp: return kFtpDefaultPort;
    default: return 0;
    }
}

int32_t SplitHostPort(const char* text, char* host, size_t hostCapacity, uint16_t& port)
{
    const char* portColon;
    if (text[0] == '[') {
        const char* close = std::strchr(text, ']');
        if (close == nullptr || !LooksLikeIpv6(text + 1, static_cast<size_t>(close - text - 1)) ||
            (close[1] != '\0' && close[1] != ':')) {
            mw_text::Copy(host, hostCapacity, "");
            return kUrlBadHost;
        }
        mw_text::CopyN(host, hostCapacity, text + 1, static_cast<size_t>(close - text - 1));
        portColon = close[1] == ':' ? close + 1 : nullptr;
    } else {
        portColon = std::strchr(text, ':');
        mw_text::CopyN(host, hostCapacity, text,
                       portColon != nullptr ? static_cast<size_t>(portColon - text) : std::strlen(text));
    }
    if (portColon != nullptr) {
        port = static_cast<uint16_t>(static_cast<uint32_t>(ParseDecimal(portColon + 1)) & 0xFFFFu);
    }
    return 0;
}

bool IsIpv6Literal(const char* host)
{
    return host != nullptr && std::strchr(host, ':') != nullptr;
}

const char* HostText(const char* host, char* out, size_t capacity)
{
    if (!IsIpv6Literal(host)) {
        mw_text::Copy(out, capacity, host);
        return out;
    }
    mw_text::Copy(out, capacity, "[");
    mw_text::Append(out, capacity, host);
    mw_text::Append(out, capacity, "]");
    return out;
}

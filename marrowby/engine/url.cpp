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

// fileName becomes the last segment of `rest` before its query or fragment;
// left as it is when rest has no slash.
void TakeFileName(const char* rest, UrlParts& parts)
{
    size_t end = std::strcspn(rest, "?#");
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

    // The host part ends at the first slash or, without a path, at the
    // query ("http://host?x=1"). An at sign after that belongs to the path.
    char* at = std::strchr(rest, '@');
    char* slash = std::strpbrk(rest, "/?");
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
        slash = std::strpbrk(rest, "/?");
    }

    // Cut at the host part's end for the split, then put the byte back.
    const char ending = slash != nullptr ? *slash : '\0';
    if (slash != nullptr) *slash = '\0';
    const int32_t split = SplitHostPort(rest, parts.host, sizeof parts.host, parts.port);
    if (slash != nullptr) *slash = ending;
    if (split != 0) return split;

    if (slash == nullptr || ending == '?') {
        mw_text::Copy(parts.path, "/");
        if (slash != nullptr) mw_text::Append(parts.path, sizeof parts.path, slash);
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

// Takes the "." and ".." segments out of a path that begins with a slash,
// in place, as a browser does: ".." above the root stays at the root, and a
// path ending in either keeps its closing slash. Other segments, empty ones
// and those that merely begin with a dot (".well-known") included, stay.
// Returns the new length; the text from there on is left as it was.
size_t RemoveDotSegments(char* path, size_t length)
{
    size_t out = 0;  // path[0, out) is the result so far; never ahead of in
    size_t in = 0;
    while (in < length) {
        size_t end = in + 1;  // path[in] is a slash
        while (end < length && path[end] != '/') ++end;
        const char* segment = path + in + 1;
        const size_t segmentLength = end - in - 1;
        const bool last = end >= length;
        if (segmentLength == 1 && segment[0] == '.') {
            if (last) path[out++] = '/';
        } else if (segmentLength == 2 && segment[0] == '.' && segment[1] == '.') {
            while (out > 0 && path[--out] != '/') {}
            if (last) path[out++] = '/';
        } else {
            std::memmove(path + out, path + in, end - in);
            out += end - in;
        }
        in = end;
    }
    if (out == 0) path[out++] = '/';
    return out;
}

// The reference resolved against parts.path: a path of its own, a query or
// fragment of the same path, or a path relative to the base's directory;
// then without dot segments. The query and fragment are kept as written.
int32_t ResolveRelative(const char* reference, UrlParts& parts)
{
    if (std::strlen(reference) > kUrlWorkMax) return kUrlTooLong;
    // Sized for the longest path plus the longest reference, so nothing is
    // cut before the length is checked.
    char built[kUrlPathMax + kUrlWorkMax + 2];
    mw_text::Copy(built, "/");
    if (reference[0] == '/') {
        mw_text::Copy(built, reference);
    } else if (reference[0] == '\0' || reference[0] == '?' || reference[0] == '#') {
        const size_t kept = std::strcspn(parts.path, reference[0] == '#' ? "#" : "?#");
        if (kept > 0 && parts.path[0] == '/') mw_text::CopyN(built, parts.path, kept);
        mw_text::Append(built, sizeof built, reference);
    } else {
        // The base's directory ends at its last slash before any query.
        const size_t basePath = std::strcspn(parts.path, "?#");
        size_t directory = 0;
        for (size_t i = 0; i < basePath; ++i) {
            if (parts.path[i] == '/') directory = i + 1;
        }
        if (directory > 0 && parts.path[0] == '/') mw_text::CopyN(built, parts.path, directory);
        mw_text::Append(built, sizeof built, reference);
    }
    // Only the path loses its dot segments; the query and fragment move up.
    const size_t pathPart = std::strcspn(built, "?#");
    const size_t kept = RemoveDotSegments(built, pathPart);
    std::memmove(built + kept, built + pathPart, std::strlen(built + pathPart) + 1);
    if (std::strlen(built) > kUrlPathMax) return kUrlTooLong;

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

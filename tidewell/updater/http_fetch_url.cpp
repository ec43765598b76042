// Everything that depends on the URL's scheme lives here: canonicalising and
// cracking, which schemes are served, and the request flags.
#include <cstdlib>
#include <cstring>

#include "tidewell/updater/http_fetch.h"

namespace {

constexpr DWORD kCanonicalSize = 2084;

void ResetUrlParts(HttpFetch* fetch)
{
    URL_COMPONENTSA& parts = fetch->urlParts;
    std::memset(&parts, 0, sizeof(parts));
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = fetch->host;
    parts.dwHostNameLength = 256;
    parts.lpszUserName = fetch->userName;
    parts.dwUserNameLength = 128;
    parts.lpszPassword = fetch->password;
    parts.dwPasswordLength = 128;
    parts.lpszUrlPath = fetch->urlPath;
    parts.dwUrlPathLength = 2048;
    fetch->host[0] = fetch->urlPath[0] = fetch->userName[0] = fetch->password[0] = '\0';
}

bool Crack(HttpFetch* fetch, const char* canonical)
{
    ResetUrlParts(fetch);
    if (!InternetCrackUrlA(canonical, 0, 0, &fetch->urlParts)) return false;
    // Without a port in the URL the cracking gives the scheme's own: 80 or 443.
    INTERNET_SCHEME scheme = fetch->urlParts.nScheme;
    return scheme == INTERNET_SCHEME_HTTP || scheme == INTERNET_SCHEME_HTTPS;
}

}  // namespace

int PrepareFetchUrl(HttpFetch* fetch, const char* url)
{
    char canonical[kCanonicalSize];
    DWORD size = kCanonicalSize;
    if (InternetCanonicalizeUrlA(url, canonical, &size, 0)) return Crack(fetch, canonical) ? kFetchOk : kFetchBadUrl;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return kFetchNoMemory;
    // size now holds the length the platform asks for.
    char* large = static_cast<char*>(std::malloc(size + 1));
    if (!large) return kFetchNoMemory;
    int result = kFetchBadUrl;
    if (InternetCanonicalizeUrlA(url, large, &size, 0) && Crack(fetch, large)) result = kFetchOk;
    std::free(large);
    return result;
}

DWORD FetchRequestFlags(const HttpFetch* fetch)
{
    // Always from the server, never from a cache.
    DWORD flags = INTERNET_FLAG_RELOAD;
    // Over https WinInet checks the server's certificate against the
    // system's trusted roots and the host name. No certificate failure is
    // ever ignored: the request then fails, and so does the step.
    if (fetch->urlParts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    return flags;
}

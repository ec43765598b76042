// wininet_get: the plainest WinInet download loop, the platform's own HTTP
// client as a peer for tessaline-get: open, send, then InternetReadFile into
// a 64,000-byte buffer and WriteFile until the body ends. With an https URL
// the platform's TLS does the work and checks the certificate.
//
//   wininet_get URL OUTFILE
//
// Prints "bytes=N seconds=S MB/s=R" (S from the request to the body's end).
// Exit status 0 when a 200 body arrived whole, 1 otherwise.
#include <stdio.h>
#include <string.h>
#include <windows.h>
#include <wininet.h>

namespace {

const DWORD kBlockSize = 64000;
char g_block[kBlockSize];

struct Handles {
    HINTERNET session = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
    ~Handles()
    {
        if (request) InternetCloseHandle(request);
        if (connection) InternetCloseHandle(connection);
        if (session) InternetCloseHandle(session);
    }
};

bool OpenRequest(const char* url, Handles& h)
{
    char host[256];
    char path[2048];
    URL_COMPONENTSA parts;
    memset(&parts, 0, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path;
    if (!InternetCrackUrlA(url, 0, 0, &parts)) return false;
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    h.session = InternetOpenA("wininet_get", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (h.session == nullptr) return false;
    h.connection = InternetConnectA(h.session, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (h.connection == nullptr) return false;
    h.request = HttpOpenRequestA(h.connection, "GET", path, nullptr, nullptr, nullptr, flags, 0);
    return h.request != nullptr && HttpSendRequestA(h.request, nullptr, 0, nullptr, 0);
}

DWORD StatusOf(HINTERNET request)
{
    DWORD status = 0;
    DWORD length = sizeof status;
    HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: wininet_get URL OUTFILE\n");
        return 64;
    }
    HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "wininet_get: cannot create %s\n", argv[2]);
        return 1;
    }
    LARGE_INTEGER frequency, started, finished;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    long long bytes = 0;
    bool whole = false;
    {
        Handles h;
        if (!OpenRequest(argv[1], h) || StatusOf(h.request) != 200) {
            fprintf(stderr, "wininet_get: request failed (error %lu)\n", GetLastError());
        } else {
            DWORD got = 0;
            DWORD written = 0;
            while (InternetReadFile(h.request, g_block, kBlockSize, &got) && got > 0 &&
                   WriteFile(file, g_block, got, &written, nullptr) && written == got)
                bytes += got;
            whole = got == 0;
        }
    }
    QueryPerformanceCounter(&finished);
    CloseHandle(file);
    double seconds = (double)(finished.QuadPart - started.QuadPart) / (double)frequency.QuadPart;
    printf("bytes=%lld seconds=%.3f MB/s=%.2f\n", bytes, seconds, seconds > 0 ? bytes / 1e6 / seconds : 0.0);
    return whole ? 0 : 1;
}

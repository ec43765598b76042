// HttpFetch: one HTTP GET at a time over WinInet, run by a worker thread of
// its own, into a memory buffer (the update information) or into a file (the
// archive), with a running CRC-16 of the body. The GUI thread polls status,
// counters and CRC without locks; the worker writes the final status last,
// after everything else it publishes is final.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>

#include "tidewell/updater/fetch_names.h"

enum FetchStatus : int32_t {
    kFetchIdle = 0,        // a transfer was just set up
    kFetchConnecting = 1,  // the worker has started
    kFetchAccepted = 2,    // status 200, output ready
    kFetchNotOpened = 3,   // connection or request handle not opened (final)
    kFetchReceiving = 4,
    kFetchClosing = 5,
    kFetchDone = 6,   // the whole body arrived, or the transfer was cancelled (final)
    kFetchFailed = 7  // no usable response, or the body broke off (final)
};

// Results of the operations (0 is success).
enum FetchResult {
    kFetchOk = 0,
    kFetchNoRoot = 1,  // no root Internet handle; for Cancel also: no transfer
    kFetchBadUrl = 2,
    kFetchNoMemory = 3,
    kFetchBusy = 4,  // a transfer is active, or the worker did not start
    kFetchNoEvent = 5,
    kFetchNotSignalled = 6,
    kFetchPathTooLong = 7,  // folder and file name do not fit the output path
    kFetchNoWorker = 11
};

// Receive error codes recorded when the body breaks off.
constexpr int32_t kFetchReadError = 14;
constexpr int32_t kFetchWriteError = 15;

constexpr uint32_t kFetchReadBufferSize = 8192;
// A server that accepts the connection and then stays silent ends the
// transfer as failed after this long (WinInet itself may wait for ever).
constexpr DWORD kFetchDefaultTimeoutMs = 30000;

struct HttpFetch {
    HINTERNET connection;
    HINTERNET request;
    URL_COMPONENTSA urlParts;
    char host[257];
    char urlPath[2049];
    char userName[129];
    char password[129];
    HANDLE cancelEvent;
    HANDLE worker;
    HANDLE outputFile;
    std::atomic<uint32_t> contentLength;  // 0 when the response has none
    std::atomic<uint32_t> received;
    char outputPath[kOutputPathSize];
    uint8_t readBuffer[kFetchReadBufferSize];
    uint8_t* memory;  // owned; none means file mode
    uint32_t memoryLimit;
    std::atomic<int32_t> errorCode;
    std::atomic<int32_t> status;
    char fileName[kDownloadNameSize];  // the download's local name
    std::atomic<uint16_t> crc;
    bool holdsRoot;   // this object counts in the root handle's references
    bool cancelled;   // worker only: the cancel event was seen
    DWORD timeoutMs;  // receive and send time-out of each request
};

// Opens the shared root Internet handle for the first object; every object
// that holds it counts once in its reference count.
void HttpFetchConstruct(HttpFetch* fetch, const char* userAgent);
// Frees the buffer, closes what is open and drops the root reference. Only
// after Wait (no worker may be running).
void HttpFetchRelease(HttpFetch* fetch);

// Sets up one transfer and starts its worker. folder: null or empty for a
// file in the current folder; memoryLimit not 0: into memory instead.
int HttpFetchStart(HttpFetch* fetch, const char* url, const char* folder, uint32_t memoryLimit);
// Signals the running transfer to stop before its next chunk: 0, 1 (no
// transfer running) or 6.
int HttpFetchCancel(HttpFetch* fetch);
// Waits without time limit until the worker has ended and forgets it.
int HttpFetchWait(HttpFetch* fetch);

int32_t HttpFetchStatus(const HttpFetch* fetch);
uint32_t HttpFetchContentLength(const HttpFetch* fetch);  // 1 without root handle
uint32_t HttpFetchReceived(const HttpFetch* fetch);       // 1 without root handle
const uint8_t* HttpFetchBuffer(const HttpFetch* fetch, uint32_t* received);
void HttpFetchFileName(const HttpFetch* fetch, char* out, size_t capacity);
uint16_t HttpFetchCrc(const HttpFetch* fetch);

// The shared root handle and its reference count, for checks.
HINTERNET HttpFetchRootHandle();
LONG HttpFetchRootCount();

// Worker side (http_fetch_worker.cpp).
DWORD WINAPI HttpFetchWorker(void* parameter);

// URL side (http_fetch_url.cpp): canonicalises and cracks url into the
// object's URL parts: 0, 2 (cannot be cracked, or neither http nor https)
// or 3.
int PrepareFetchUrl(HttpFetch* fetch, const char* url);
// Flags of the request for the cracked URL.
DWORD FetchRequestFlags(const HttpFetch* fetch);

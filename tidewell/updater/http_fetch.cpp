#include "tidewell/updater/http_fetch.h"

#include <cstdlib>
#include <cstring>

#include "common/bounded_text.h"
#include "tidewell/updater/crc16.h"

namespace {

// One root handle for every object; the count is changed only by
// interlocked operations.
HINTERNET g_root = nullptr;
LONG g_rootCount = 0;

bool TransferActive(const HttpFetch* fetch)
{
    // The worker handle stays recorded until Wait, so while it is there the
    // worker may still be clearing the others: check it first.
    return fetch->worker || fetch->cancelEvent || fetch->outputFile;
}

void ResetCounters(HttpFetch* fetch)
{
    fetch->received = 0;
    fetch->contentLength = 0;
    fetch->errorCode = 0;
    fetch->cancelled = false;
    fetch->crc = kCrc16Initial;
    fetch->status = kFetchIdle;
}

int PrepareMemory(HttpFetch* fetch, uint32_t memoryLimit)
{
    std::free(fetch->memory);
    fetch->memory = nullptr;
    fetch->memoryLimit = 0;
    if (memoryLimit == 0) return kFetchOk;
    fetch->memory = static_cast<uint8_t*>(std::malloc(memoryLimit));
    if (!fetch->memory) return kFetchNoMemory;
    fetch->memoryLimit = memoryLimit;
    return kFetchOk;
}

}  // namespace

void HttpFetchConstruct(HttpFetch* fetch, const char* userAgent)
{
    fetch->connection = fetch->request = nullptr;
    fetch->cancelEvent = fetch->worker = fetch->outputFile = nullptr;
    fetch->memory = nullptr;
    fetch->memoryLimit = 0;
    fetch->outputPath[0] = '\0';
    mw_text::Copy(fetch->fileName, kDefaultDownloadName);
    fetch->timeoutMs = kFetchDefaultTimeoutMs;
    ResetCounters(fetch);
    fetch->holdsRoot = false;
    if (InterlockedIncrement(&g_rootCount) == 1) {
        g_root = InternetOpenA(userAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    }
    if (!g_root) {
        InterlockedDecrement(&g_rootCount);
        return;
    }
    fetch->holdsRoot = true;
}

void HttpFetchRelease(HttpFetch* fetch)
{
    std::free(fetch->memory);
    fetch->memory = nullptr;
    fetch->memoryLimit = 0;
    if (fetch->request) InternetCloseHandle(fetch->request);
    if (fetch->connection) InternetCloseHandle(fetch->connection);
    fetch->request = fetch->connection = nullptr;
    if (fetch->cancelEvent) CloseHandle(fetch->cancelEvent);
    fetch->cancelEvent = nullptr;
    if (!fetch->holdsRoot) return;
    fetch->holdsRoot = false;
    if (InterlockedDecrement(&g_rootCount) == 0) {
        InternetCloseHandle(g_root);
        g_root = nullptr;
    }
}

int HttpFetchStart(HttpFetch* fetch, const char* url, const char* folder, uint32_t memoryLimit)
{
    if (!fetch->holdsRoot) return kFetchNoRoot;
    if (TransferActive(fetch)) return kFetchBusy;
    int result = PrepareMemory(fetch, memoryLimit);
    if (result == kFetchOk) result = PrepareFetchUrl(fetch, url ? url : "");
    if (result != kFetchOk) return result;
    DownloadFileName(fetch->urlPath, fetch->fileName, sizeof(fetch->fileName));
    if (BuildOutputPath(folder, fetch->fileName, fetch->outputPath, sizeof(fetch->outputPath)) != 0)
        return kFetchPathTooLong;
    ResetCounters(fetch);
    fetch->cancelEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!fetch->cancelEvent) return kFetchNoEvent;
    fetch->worker = CreateThread(nullptr, 0, HttpFetchWorker, fetch, 0, nullptr);
    if (!fetch->worker) {
        CloseHandle(fetch->cancelEvent);
        fetch->cancelEvent = nullptr;
        return kFetchBusy;
    }
    return kFetchOk;
}

int HttpFetchCancel(HttpFetch* fetch)
{
    // The event lives until Wait; once the worker has written its final
    // status there is nothing left to cancel.
    int32_t status = fetch->status;
    if (!fetch->holdsRoot || !fetch->cancelEvent || status == kFetchNotOpened || status == kFetchDone ||
        status == kFetchFailed)
        return kFetchNoRoot;
    return SetEvent(fetch->cancelEvent) ? kFetchOk : kFetchNotSignalled;
}

int HttpFetchWait(HttpFetch* fetch)
{
    if (!fetch->holdsRoot) return kFetchNoRoot;
    if (!fetch->worker) return kFetchNoWorker;
    WaitForSingleObject(fetch->worker, INFINITE);
    CloseHandle(fetch->worker);
    fetch->worker = nullptr;
    // The cancel event is closed here rather than by the worker, so that a
    // Cancel racing with the worker's end never signals a closed handle.
    if (fetch->cancelEvent) CloseHandle(fetch->cancelEvent);
    fetch->cancelEvent = nullptr;
    return kFetchOk;
}

int32_t HttpFetchStatus(const HttpFetch* fetch)
{
    return fetch->status;
}

uint32_t HttpFetchContentLength(const HttpFetch* fetch)
{
    return fetch->holdsRoot ? fetch->contentLength.load() : 1;
}

uint32_t HttpFetchReceived(const HttpFetch* fetch)
{
    return fetch->holdsRoot ? fetch->received.load() : 1;
}

const uint8_t* HttpFetchBuffer(const HttpFetch* fetch, uint32_t* received)
{
    *received = fetch->received;
    return fetch->memory;
}

void HttpFetchFileName(const HttpFetch* fetch, char* out, size_t capacity)
{
    mw_text::Copy(out, capacity, fetch->fileName);
}

uint16_t HttpFetchCrc(const HttpFetch* fetch)
{
    return fetch->crc;
}

HINTERNET HttpFetchRootHandle()
{
    return g_root;
}

LONG HttpFetchRootCount()
{
    return g_rootCount;
}

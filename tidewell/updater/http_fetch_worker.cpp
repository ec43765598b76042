// The worker thread of one transfer: connect, request, check the response,
// receive the body chunk by chunk, then release everything and publish the
// final status as its last write.
#include <cstring>

#include "tidewell/updater/crc16.h"
#include "tidewell/updater/http_fetch.h"

namespace {

constexpr DWORD kQuerySize = 128;

// A header value queried as text and read as an unsigned 32-bit number.
bool QueryNumber(HINTERNET request, DWORD info, uint32_t* value)
{
    char text[kQuerySize];
    DWORD size = sizeof(text);
    if (!HttpQueryInfoA(request, info, text, &size, nullptr)) return false;
    text[size < kQuerySize ? size : kQuerySize - 1] = '\0';
    uint64_t number = 0;
    const char* p = text;
    while (*p == ' ') ++p;
    if (*p < '0' || *p > '9') return false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        number = number * 10 + static_cast<uint64_t>(*p - '0');
        if (number > 0xFFFFFFFFu) number = 0xFFFFFFFFu;
    }
    *value = static_cast<uint32_t>(number);
    return true;
}

int32_t OpenRequest(HttpFetch* fetch)
{
    fetch->connection = InternetConnectA(HttpFetchRootHandle(), fetch->host, fetch->urlParts.nPort, nullptr, nullptr,
                                         INTERNET_SERVICE_HTTP, 0, 0);
    if (!fetch->connection) return kFetchNotOpened;
    fetch->request =
        HttpOpenRequestA(fetch->connection, "GET", fetch->urlPath, nullptr, "", nullptr, FetchRequestFlags(fetch), 0);
    if (!fetch->request) return kFetchNotOpened;
    DWORD timeout = fetch->timeoutMs;
    InternetSetOptionA(fetch->request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
    InternetSetOptionA(fetch->request, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof(timeout));
    return 0;
}

// Sends the request and accepts only status 200; opens the output file.
int32_t AcceptResponse(HttpFetch* fetch)
{
    if (!HttpSendRequestA(fetch->request, nullptr, 0, nullptr, 0)) return kFetchFailed;
    uint32_t code = 0;
    if (!QueryNumber(fetch->request, HTTP_QUERY_STATUS_CODE, &code) || code != 200) return kFetchFailed;
    uint32_t length = 0;
    if (QueryNumber(fetch->request, HTTP_QUERY_CONTENT_LENGTH, &length)) fetch->contentLength = length;
    if (!fetch->memory) {
        HANDLE file = CreateFileA(fetch->outputPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file == INVALID_HANDLE_VALUE) return kFetchFailed;
        fetch->outputFile = file;
    }
    fetch->status = kFetchAccepted;
    fetch->status = kFetchReceiving;
    return 0;
}

// Stores one chunk; false when the loop must end (memory full, write failed).
bool StoreChunk(HttpFetch* fetch, DWORD count)
{
    uint32_t received = fetch->received;
    if (fetch->memory) {
        if (count > fetch->memoryLimit - received) {
            std::memcpy(fetch->memory + received, fetch->readBuffer, fetch->memoryLimit - received);
            fetch->received = fetch->memoryLimit;
            return false;
        }
        std::memcpy(fetch->memory + received, fetch->readBuffer, count);
    } else {
        DWORD written = 0;
        if (!WriteFile(fetch->outputFile, fetch->readBuffer, count, &written, nullptr) || written != count) {
            fetch->errorCode = kFetchWriteError;
            return false;
        }
    }
    fetch->received = received + count;
    return true;
}

// The body, chunk by chunk, each after a 1 ms look at the cancel event.
// Returns the final status: done when the body ended as announced, when the
// memory limit was reached or when cancelled; failed when a read or write
// broke off or fewer bytes came than the Content-Length announced.
int32_t ReceiveBody(HttpFetch* fetch)
{
    for (;;) {
        if (WaitForSingleObject(fetch->cancelEvent, 1) == WAIT_OBJECT_0) {
            fetch->cancelled = true;
            return kFetchDone;
        }
        DWORD available = 0;
        if (!InternetQueryDataAvailable(fetch->request, &available, 0, 0)) {
            fetch->errorCode = kFetchReadError;
            return kFetchFailed;
        }
        if (available == 0) break;
        // No more than is there: a read waits until its buffer is full.
        DWORD wanted = available < kFetchReadBufferSize ? available : kFetchReadBufferSize;
        DWORD count = 0;
        if (!InternetReadFile(fetch->request, fetch->readBuffer, wanted, &count)) {
            fetch->errorCode = kFetchReadError;
            return kFetchFailed;
        }
        if (count == 0) break;
        fetch->crc = Crc16Update(fetch->readBuffer, static_cast<int32_t>(count), fetch->crc);
        if (!StoreChunk(fetch, count)) return fetch->errorCode ? kFetchFailed : kFetchDone;
    }
    uint32_t announced = fetch->contentLength;
    return announced != 0 && fetch->received < announced ? kFetchFailed : kFetchDone;
}

void CloseHandles(HttpFetch* fetch)
{
    if (fetch->request) InternetCloseHandle(fetch->request);
    if (fetch->connection) InternetCloseHandle(fetch->connection);
    fetch->request = fetch->connection = nullptr;
    if (fetch->outputFile) CloseHandle(fetch->outputFile);
    fetch->outputFile = nullptr;
}

}  // namespace

DWORD WINAPI HttpFetchWorker(void* parameter)
{
    HttpFetch* fetch = static_cast<HttpFetch*>(parameter);
    fetch->status = kFetchConnecting;
    int32_t final = OpenRequest(fetch);
    if (final == 0) final = AcceptResponse(fetch);
    bool bodyStarted = final == 0;
    if (bodyStarted) {
        final = ReceiveBody(fetch);
        fetch->status = kFetchClosing;
    }
    bool hadFile = fetch->outputFile != nullptr;
    CloseHandles(fetch);
    // A cancelled or broken-off download leaves no partial file behind.
    if (hadFile && (fetch->cancelled || final == kFetchFailed)) DeleteFileA(fetch->outputPath);
    fetch->status = final;
    return 0;
}

// recv_ceiling: the fastest a single-connection downloader built like the
// engine can go on this platform. One overlapped 64,000-byte receive is kept
// outstanding; each completed block is written to the file before the next
// receive is posted. Nothing else happens: no parsing beyond finding the end
// of the header block, no callbacks, no locks.
//
//   recv_ceiling HOST PORT PATH OUTFILE
//
// Prints "bytes=N seconds=S close_seconds=C MB/s=R": S from connect until
// the server's close, C for closing socket and file afterwards. Exit
// status 0 when the server closed after sending a body, 1 otherwise.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <winsock2.h>
#include <windows.h>

namespace {

const DWORD kBlockSize = 64000;
const DWORD kWaitMs = 500;
const DWORD kRequestCapacity = 1024;

char g_block[kBlockSize];

struct Transfer {
    SOCKET socket;
    WSAEVENT received;
    HANDLE file;
    bool headerDone;
    // The last three bytes of the previous block, so a header end split
    // across two receives is still found.
    char tail[3];
    DWORD tailLength;
    long long bodyBytes;
};

SOCKET ConnectTo(const char* host, unsigned short port)
{
    SOCKET s = WSASocketA(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s == INVALID_SOCKET) return s;
    sockaddr_in remote;
    memset(&remote, 0, sizeof remote);
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = inet_addr(host);
    if (connect(s, (sockaddr*)&remote, sizeof remote) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

bool SendAll(SOCKET s, const char* data, int length)
{
    while (length > 0) {
        int sent = send(s, data, length, 0);
        if (sent == SOCKET_ERROR) return false;
        data += sent;
        length -= sent;
    }
    return true;
}

// Offset of the first body byte in block, or -1 while the header continues.
long FindBodyStart(Transfer& t, const char* block, DWORD length)
{
    // Header ends are looked for in tail + block without copying the block:
    // a match starting in the tail is checked byte by byte.
    const char end[4] = {'\r', '\n', '\r', '\n'};
    for (DWORD start = 0; start < t.tailLength; start++) {
        DWORD matched = 0;
        for (DWORD k = 0; k < 4; k++) {
            DWORD pos = start + k;
            char c = pos < t.tailLength ? t.tail[pos] : (pos - t.tailLength < length ? block[pos - t.tailLength] : 0);
            if (c != end[k]) break;
            matched++;
        }
        if (matched == 4) return (long)(start + 4 - t.tailLength);
    }
    for (DWORD i = 0; i + 4 <= length; i++) {
        if (memcmp(block + i, end, 4) == 0) return (long)(i + 4);
    }
    // Keep the last three bytes (across short blocks) for the next search.
    char joined[6];
    DWORD joinedLength = 0;
    for (DWORD i = 0; i < t.tailLength; i++) joined[joinedLength++] = t.tail[i];
    for (DWORD i = length > 3 ? length - 3 : 0; i < length; i++) joined[joinedLength++] = block[i];
    DWORD keep = joinedLength > 3 ? 3 : joinedLength;
    memcpy(t.tail, joined + joinedLength - keep, keep);
    t.tailLength = keep;
    return -1;
}

bool WriteBlock(Transfer& t, const char* data, DWORD length)
{
    DWORD written = 0;
    if (!WriteFile(t.file, data, length, &written, nullptr) || written != length) return false;
    t.bodyBytes += length;
    return true;
}

bool Consume(Transfer& t, const char* block, DWORD length)
{
    if (t.headerDone) return WriteBlock(t, block, length);
    long start = FindBodyStart(t, block, length);
    if (start < 0) return true;
    t.headerDone = true;
    return (DWORD)start >= length || WriteBlock(t, block + start, length - (DWORD)start);
}

// One receive posted, waited for and consumed per turn. 1 data, 0 closed,
// -1 error.
int ReceiveOnce(Transfer& t)
{
    WSAOVERLAPPED overlapped;
    memset(&overlapped, 0, sizeof overlapped);
    overlapped.hEvent = t.received;
    WSABUF buffer;
    buffer.buf = g_block;
    buffer.len = kBlockSize;
    DWORD flags = 0;
    DWORD count = 0;
    if (WSARecv(t.socket, &buffer, 1, &count, &flags, &overlapped, nullptr) != 0 && WSAGetLastError() != WSA_IO_PENDING)
        return -1;
    for (;;) {
        DWORD woke = WSAWaitForMultipleEvents(1, &t.received, FALSE, kWaitMs, TRUE);
        if (woke == WSA_WAIT_EVENT_0) break;
        if (woke != WSA_WAIT_TIMEOUT && woke != WSA_WAIT_IO_COMPLETION) return -1;
    }
    if (!WSAGetOverlappedResult(t.socket, &overlapped, &count, TRUE, &flags)) return -1;
    if (count == 0) return 0;
    return Consume(t, g_block, count) ? 1 : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: recv_ceiling HOST PORT PATH OUTFILE\n");
        return 64;
    }
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 0), &wsa) != 0) return 1;

    Transfer t;
    memset(&t, 0, sizeof t);
    // A new file rather than a truncated one: on Linux file systems with
    // delayed allocation, closing a file that was truncated on open forces
    // its data to disk, which is not part of a receive loop's cost.
    DeleteFileA(argv[4]);
    t.file = CreateFileA(argv[4], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    t.received = WSACreateEvent();
    if (t.file == INVALID_HANDLE_VALUE || t.received == WSA_INVALID_EVENT) {
        fprintf(stderr, "recv_ceiling: cannot open %s\n", argv[4]);
        return 1;
    }

    LARGE_INTEGER frequency, started, finished;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    t.socket = ConnectTo(argv[1], (unsigned short)atoi(argv[2]));
    if (t.socket == INVALID_SOCKET) {
        fprintf(stderr, "recv_ceiling: connect failed\n");
        return 1;
    }
    char request[kRequestCapacity];
    int length = snprintf(request, sizeof request, "GET %s HTTP/1.0\r\nHost: %s:%s\r\nConnection: close\r\n\r\n",
                          argv[3], argv[1], argv[2]);
    if (length <= 0 || length >= (int)sizeof request || !SendAll(t.socket, request, length)) {
        fprintf(stderr, "recv_ceiling: request not sent\n");
        return 1;
    }
    int turn;
    do {
        turn = ReceiveOnce(t);
    } while (turn > 0);
    QueryPerformanceCounter(&finished);

    closesocket(t.socket);
    CloseHandle(t.file);
    LARGE_INTEGER closed;
    QueryPerformanceCounter(&closed);
    WSACloseEvent(t.received);
    WSACleanup();
    double seconds = (double)(finished.QuadPart - started.QuadPart) / (double)frequency.QuadPart;
    double closing = (double)(closed.QuadPart - finished.QuadPart) / (double)frequency.QuadPart;
    double rate = seconds > 0 ? (double)t.bodyBytes / 1e6 / seconds : 0.0;
    printf("bytes=%lld seconds=%.3f close_seconds=%.3f MB/s=%.2f\n", t.bodyBytes, seconds, closing, rate);
    return turn == 0 && t.headerDone ? 0 : 1;
}

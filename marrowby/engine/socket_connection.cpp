#include "marrowby/engine/socket_connection.h"

#include <string.h>
#include <ws2tcpip.h>

namespace {

// Bounds the wait for a cancelled receive when the worker ends; closing the
// socket completes it at once, so this only guards against a stuck stack.
const DWORD kCancelWaitMs = 5000;

// Time-outs this large cannot be compared across the tick-count wrap and
// mean "no deadline".
const uint32_t kLargestTimeoutMs = 0x7FFFFFFFu;

bool ResolveIPv4(const char* host, in_addr* address) {
    unsigned long dotted = inet_addr(host);
    if (dotted != INADDR_NONE) {
        address->s_addr = dotted;
        return true;
    }
    if (host[0] == '\0') return false;
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return false;
    *address = ((sockaddr_in*)found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

}  // namespace

SocketConnection::SocketConnection() {
    ResetConnection();
}

SocketConnection::~SocketConnection() {
    StopWorker();
}

void SocketConnection::ResetConnection() {
    socket_ = INVALID_SOCKET;
    networkEvent_ = WSA_INVALID_EVENT;
    receiveEvent_ = WSA_INVALID_EVENT;
    stopEvent_ = nullptr;
    thread_ = nullptr;
    threadId_ = 0;
    stopSignalled_ = 0;
    context_ = nullptr;
    timeoutMs_ = kNoTimeout;
    waitMs_ = kDefaultWaitMs;
    sink_ = nullptr;
    memset(buffers_, 0, sizeof buffers_);
    memset(&overlapped_, 0, sizeof overlapped_);
    receivePending_ = false;
    hasDeadline_ = false;
    deadline_ = 0;
}

int SocketConnection::StartWorker(ConnectionSink* sink, const ReceiveBuffer* buffers, int count,
                                  uint32_t waitMs, void* context) {
    // From inside an event the running worker could not be replaced safely.
    if (thread_ != nullptr && GetCurrentThreadId() == threadId_) return 2;
    StopWorker();
    waitMs_ = waitMs;
    sink_ = sink;
    context_ = context;
    if (count <= 0) return 1;
    if (count > 2) count = 2;
    for (int i = 0; i < count; i++) buffers_[i] = buffers[i];

    stopEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (stopEvent_ == nullptr) return 2;
    receiveEvent_ = WSACreateEvent();
    networkEvent_ = WSACreateEvent();
    if (receiveEvent_ == WSA_INVALID_EVENT || networkEvent_ == WSA_INVALID_EVENT) {
        ReleaseEvents();
        return 2;
    }
    // Suspended until its id is stored, so the worker can recognise itself
    // in StopWorker.
    thread_ = CreateThread(nullptr, 0, WorkerMain, this, CREATE_SUSPENDED, &threadId_);
    if (thread_ == nullptr) {
        ReleaseEvents();
        return 2;
    }
    if (ResumeThread(thread_) == (DWORD)-1) {
        TerminateThread(thread_, 1);  // never ran: holds nothing
        CloseHandle(thread_);
        thread_ = nullptr;
        threadId_ = 0;
        ReleaseEvents();
        return 2;
    }
    return 0;
}

int SocketConnection::StopWorker() {
    if (thread_ != nullptr) {
        if (InterlockedExchange(&stopSignalled_, 1) == 0) SetEvent(stopEvent_);
        // The worker cannot wait for itself; it ends once the current event
        // returns, and the handles are released by the next call from
        // another thread.
        if (GetCurrentThreadId() == threadId_) return 0;
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    // Only a socket made without a running worker can still be open here.
    CloseSocket();
    ResetConnection();
    return 0;
}

int SocketConnection::Connect(const char* host, uint16_t port, uint32_t timeoutMs) {
    if (socket_ != INVALID_SOCKET) CloseSocket();
    socket_ = WSASocketA(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (socket_ == INVALID_SOCKET) return 1;
    sockaddr_in local;
    memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    // A half set-up socket is of no use and would otherwise stay open when
    // no worker exists to close it.
    if (bind(socket_, (sockaddr*)&local, sizeof local) != 0 || networkEvent_ == WSA_INVALID_EVENT ||
        WSAEventSelect(socket_, networkEvent_, FD_CONNECT) != 0) {
        CloseSocket();
        return 1;
    }

    sockaddr_in remote;
    memset(&remote, 0, sizeof remote);
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    if (!ResolveIPv4(host, &remote.sin_addr)) {
        Deliver(EvHostNotFound, nullptr, 0);
        return 2;
    }
    timeoutMs_ = timeoutMs;
    if (connect(socket_, (sockaddr*)&remote, sizeof remote) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK)
        return 3;
    return 0;
}

void SocketConnection::SetReceiveBuffer(char* data, uint32_t length) {
    buffers_[0].data = data;
    buffers_[0].length = length;
}

int SocketConnection::Send(const char* data, uint32_t length) {
    if (send(socket_, data, (int)length, 0) == SOCKET_ERROR) return 2;
    return 0;
}

int SocketConnection::CloseSocket() {
    if (socket_ != INVALID_SOCKET) {
        shutdown(socket_, SD_BOTH);
        closesocket(socket_);
    }
    socket_ = INVALID_SOCKET;
    return 0;
}

void SocketConnection::ReleaseEvents() {
    if (receiveEvent_ != WSA_INVALID_EVENT) WSACloseEvent(receiveEvent_);
    if (networkEvent_ != WSA_INVALID_EVENT) WSACloseEvent(networkEvent_);
    if (stopEvent_ != nullptr) CloseHandle(stopEvent_);
    receiveEvent_ = WSA_INVALID_EVENT;
    networkEvent_ = WSA_INVALID_EVENT;
    stopEvent_ = nullptr;
}

int32_t SocketConnection::Deliver(int event, const char* data, uint32_t length) {
    if (sink_ == nullptr) return 0;
    return sink_->OnConnectionEvent(event, data, length, context_);
}

void SocketConnection::ResetSocketEvents() {
    WSAResetEvent(receiveEvent_);
    WSAResetEvent(networkEvent_);
}

void SocketConnection::SetDeadline() {
    hasDeadline_ = timeoutMs_ <= kLargestTimeoutMs;
    deadline_ = GetTickCount() + timeoutMs_;
}

// Compared through the signed difference so that the 49.7-day wrap of the
// tick count does not end a transfer early.
bool SocketConnection::DeadlinePassed() const {
    return hasDeadline_ && (int32_t)(GetTickCount() - deadline_) > 0;
}

bool SocketConnection::PostReceive() {
    memset(&overlapped_, 0, sizeof overlapped_);
    overlapped_.hEvent = receiveEvent_;
    WSABUF buffer;
    buffer.buf = buffers_[0].data;
    buffer.len = buffers_[0].length;
    DWORD flags = 0;
    DWORD received = 0;
    if (WSARecv(socket_, &buffer, 1, &received, &flags, &overlapped_, nullptr) != 0 &&
        WSAGetLastError() != WSA_IO_PENDING)
        return false;
    receivePending_ = true;
    return true;
}

DWORD WINAPI SocketConnection::WorkerMain(void* param) {
    ((SocketConnection*)param)->RunWorker();
    return 0;
}

void SocketConnection::RunWorker() {
    ClearDeadline();
    receivePending_ = false;
    WSAEVENT events[3] = {receiveEvent_, networkEvent_, stopEvent_};
    for (;;) {
        DWORD result = WSAWaitForMultipleEvents(3, events, FALSE, waitMs_, TRUE);
        if (result == WSA_WAIT_EVENT_0) {
            OnReceiveCompleted();
        } else if (result == WSA_WAIT_EVENT_0 + 1) {
            OnNetworkEvent();
        } else if (result == WSA_WAIT_EVENT_0 + 2) {
            FinishWorker();
            return;
        } else if (result == WSA_WAIT_TIMEOUT) {
            OnWaitTimedOut();
        }
    }
}

void SocketConnection::OnReceiveCompleted() {
    DWORD received = 0;
    DWORD flags = 0;
    if (!WSAGetOverlappedResult(socket_, &overlapped_, &received, TRUE, &flags)) {
        if (WSAGetLastError() == WSA_IO_INCOMPLETE) return;
        receivePending_ = false;
        ResetSocketEvents();
        ClearDeadline();
        Deliver(EvClosed, nullptr, 0);
        return;
    }
    receivePending_ = false;
    if (received == 0) {
        ResetSocketEvents();
        Deliver(EvClosed, nullptr, 0);
        ClearDeadline();
        return;
    }
    if (Deliver(EvData, buffers_[0].data, received) != 0) {
        WSAResetEvent(receiveEvent_);
        return;
    }
    if (!PostReceive()) {
        ResetSocketEvents();
        ClearDeadline();
        Deliver(EvClosed, nullptr, 0);
        return;
    }
    SetDeadline();
}

void SocketConnection::OnNetworkEvent() {
    ResetSocketEvents();
    WSANETWORKEVENTS happened;
    if (WSAEnumNetworkEvents(socket_, networkEvent_, &happened) != 0) {
        ClearDeadline();
        Deliver(EvNetError, nullptr, 0);
        return;
    }
    if ((happened.lNetworkEvents & FD_CONNECT) == 0) return;
    if (happened.iErrorCode[FD_CONNECT_BIT] != 0) {
        Deliver(EvNetError, nullptr, 0);
        ClearDeadline();
        return;
    }
    if (!PostReceive()) {
        ResetSocketEvents();
        ClearDeadline();
        Deliver(EvNetError, nullptr, 0);
        return;
    }
    SetDeadline();
    Deliver(EvConnected, nullptr, 0);
}

void SocketConnection::OnWaitTimedOut() {
    Deliver(EvTick, nullptr, 0);
    if (DeadlinePassed()) {
        CloseSocket();
        Deliver(EvTimedOut, nullptr, 0);
        ClearDeadline();
    }
}

void SocketConnection::FinishWorker() {
    Deliver(EvWorkerExit, nullptr, 0);
    CloseSocket();
    // The cancelled receive still owns the overlapped record and the sink's
    // buffer until it completes; both must outlive it.
    if (receivePending_) WaitForSingleObject(receiveEvent_, kCancelWaitMs);
    receivePending_ = false;
    ReleaseEvents();
}

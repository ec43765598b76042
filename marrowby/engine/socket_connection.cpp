#include "marrowby/engine/socket_connection.h"

#include <stdio.h>
#include <string.h>
#include <ws2tcpip.h>

#include "marrowby/engine/lock_scope.h"
#include "marrowby/engine/url.h"

namespace {

// Bounds the wait for a cancelled receive when the worker ends; closing the
// socket completes it at once, so this only guards against a stuck stack.
const DWORD kCancelWaitMs = 5000;

// Time-outs this large cannot be compared across the tick-count wrap and
// mean "no deadline".
const uint32_t kLargestTimeoutMs = 0x7FFFFFFFu;

bool TimeoutIsBounded(uint32_t timeoutMs)
{
    return timeoutMs <= kLargestTimeoutMs;
}

// Compared through the signed difference so that the 49.7-day wrap of the
// tick count does not end anything early.
bool TickPassed(uint32_t deadline)
{
    return (int32_t)(GetTickCount() - deadline) > 0;
}

}  // namespace

SocketConnection::SocketConnection()
{
    InitializeCriticalSection(&attemptLock_);
    ResetConnection();
}

SocketConnection::~SocketConnection()
{
    StopWorker();
    DeleteCriticalSection(&attemptLock_);
}

void SocketConnection::ResetConnection()
{
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
    addressCount_ = 0;
    nextAddress_ = 0;
    connecting_ = false;
    hasConnectDeadline_ = false;
    connectDeadline_ = 0;
    memset(&overlapped_, 0, sizeof overlapped_);
    receivePending_ = false;
    hasDeadline_ = false;
    deadline_ = 0;
}

int SocketConnection::StartWorker(ConnectionSink* sink, const ReceiveBuffer* buffers, int count, uint32_t waitMs,
                                  void* context)
{
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

int SocketConnection::StopWorker()
{
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

// The host's addresses for a TCP connection to port, at most capacity of
// them, in the order the resolution gives them; 0 when it has none. A dotted
// IPv4 address is used as it is, an IPv6 literal is only ever read as one,
// and only other names are looked up.
int SocketConnection::ResolveHost(const char* host, uint16_t port, PeerAddress* out, int capacity)
{
    // Brackets belong to the text of a URL or a proxy setting, never to a host.
    if (host[0] == '\0' || strpbrk(host, "[]") != nullptr) return 0;
    unsigned long dotted = inet_addr(host);
    if (dotted != INADDR_NONE) {
        sockaddr_in* address = (sockaddr_in*)&out[0].address;
        memset(&out[0], 0, sizeof out[0]);
        address->sin_family = AF_INET;
        address->sin_port = htons(port);
        address->sin_addr.s_addr = dotted;
        out[0].length = sizeof *address;
        return 1;
    }
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    if (IsIpv6Literal(host)) hints.ai_flags = AI_NUMERICHOST;
    char service[8];
    snprintf(service, sizeof service, "%u", (unsigned)port);
    addrinfo* found = nullptr;
    if (getaddrinfo(host, service, &hints, &found) != 0) return 0;
    int count = 0;
    for (addrinfo* entry = found; entry != nullptr && count < capacity; entry = entry->ai_next) {
        if ((entry->ai_family != AF_INET && entry->ai_family != AF_INET6) || entry->ai_addr == nullptr ||
            entry->ai_addrlen > sizeof out[count].address)
            continue;
        memset(&out[count], 0, sizeof out[count]);
        memcpy(&out[count].address, entry->ai_addr, entry->ai_addrlen);
        out[count].length = (int)entry->ai_addrlen;
        ++count;
    }
    freeaddrinfo(found);
    return count;
}

int SocketConnection::Connect(const char* host, uint16_t port, uint32_t timeoutMs)
{
    // Resolved before the lock is taken: a name lookup may take its time.
    PeerAddress found[kMaxPeerAddresses];
    int count = ResolveHost(host, port, found, kMaxPeerAddresses);
    if (count == 0) {
        CloseSocket();
        Deliver(EvHostNotFound, nullptr, 0);
        return 2;
    }
    // A reconnect made inside an event: the receive deadline of the old
    // connection gives way to the connect deadlines of the new one.
    if (thread_ != nullptr && GetCurrentThreadId() == threadId_) ClearDeadline();
    LockScope hold(attemptLock_);
    CloseSocketLocked();
    memcpy(addresses_, found, sizeof found[0] * (size_t)count);
    addressCount_ = count;
    nextAddress_ = 0;
    timeoutMs_ = timeoutMs;
    return StartNextAttempt();
}

// Tries the remaining addresses in turn until a connect is under way.
// Called with attemptLock_ held. Returns 0, or the failure of the last one.
int SocketConnection::StartNextAttempt()
{
    int result = 1;
    while (nextAddress_ < addressCount_) {
        result = StartAttempt(addresses_[nextAddress_++]);
        if (result == 0) return 0;
    }
    return result;
}

// A socket of the address's family, bound to any local address and port,
// that reports the end of its connect through the network event. Every
// attempt has the same time to complete. 0 under way; 1 set-up failed;
// 3 refused at once.
int SocketConnection::StartAttempt(const PeerAddress& peer)
{
    const int family = peer.address.ss_family;
    socket_ = WSASocketA(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (socket_ == INVALID_SOCKET) return 1;
    sockaddr_storage local;
    memset(&local, 0, sizeof local);
    local.ss_family = (ADDRESS_FAMILY)family;
    int localLength = family == AF_INET6 ? (int)sizeof(sockaddr_in6) : (int)sizeof(sockaddr_in);
    // A half set-up socket is of no use and would otherwise stay open when
    // no worker exists to close it.
    if (bind(socket_, (sockaddr*)&local, localLength) != 0 || networkEvent_ == WSA_INVALID_EVENT ||
        WSAEventSelect(socket_, networkEvent_, FD_CONNECT) != 0) {
        CloseSocketLocked();
        return 1;
    }
    connecting_ = true;
    hasConnectDeadline_ = TimeoutIsBounded(timeoutMs_);
    connectDeadline_ = GetTickCount() + timeoutMs_;
    if (connect(socket_, (const sockaddr*)&peer.address, peer.length) != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
        CloseSocketLocked();
        return 3;
    }
    return 0;
}

bool SocketConnection::ConnectDeadlinePassed() const
{
    return connecting_ && hasConnectDeadline_ && TickPassed(connectDeadline_);
}

// The current address has not answered in time: the next one is tried, and
// only when none is left does the connect fail.
void SocketConnection::OnConnectDeadline()
{
    {
        LockScope hold(attemptLock_);
        if (!ConnectDeadlinePassed()) return;
        CloseSocketLocked();
        if (StartNextAttempt() == 0) return;
    }
    ClearDeadline();
    Deliver(EvNetError, nullptr, 0);
}

void SocketConnection::SetReceiveBuffer(char* data, uint32_t length)
{
    buffers_[0].data = data;
    buffers_[0].length = length;
}

int SocketConnection::Send(const char* data, uint32_t length)
{
    if (send(socket_, data, (int)length, 0) == SOCKET_ERROR) return 2;
    return 0;
}

int SocketConnection::CloseSocket()
{
    LockScope hold(attemptLock_);
    CloseSocketLocked();
    return 0;
}

void SocketConnection::CloseSocketLocked()
{
    if (socket_ != INVALID_SOCKET) {
        shutdown(socket_, SD_BOTH);
        closesocket(socket_);
    }
    socket_ = INVALID_SOCKET;
    connecting_ = false;
}

void SocketConnection::ReleaseEvents()
{
    if (receiveEvent_ != WSA_INVALID_EVENT) WSACloseEvent(receiveEvent_);
    if (networkEvent_ != WSA_INVALID_EVENT) WSACloseEvent(networkEvent_);
    if (stopEvent_ != nullptr) CloseHandle(stopEvent_);
    receiveEvent_ = WSA_INVALID_EVENT;
    networkEvent_ = WSA_INVALID_EVENT;
    stopEvent_ = nullptr;
}

int32_t SocketConnection::Deliver(int event, const char* data, uint32_t length)
{
    if (sink_ == nullptr) return 0;
    return sink_->OnConnectionEvent(event, data, length, context_);
}

void SocketConnection::ResetSocketEvents()
{
    WSAResetEvent(receiveEvent_);
    WSAResetEvent(networkEvent_);
}

void SocketConnection::SetDeadline()
{
    hasDeadline_ = TimeoutIsBounded(timeoutMs_);
    deadline_ = GetTickCount() + timeoutMs_;
}

bool SocketConnection::DeadlinePassed() const
{
    return hasDeadline_ && TickPassed(deadline_);
}

bool SocketConnection::PostReceive()
{
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

DWORD WINAPI SocketConnection::WorkerMain(void* param)
{
    ((SocketConnection*)param)->RunWorker();
    return 0;
}

void SocketConnection::RunWorker()
{
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

void SocketConnection::OnReceiveCompleted()
{
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

void SocketConnection::OnNetworkEvent()
{
    ResetSocketEvents();
    bool connected = false;
    {
        LockScope hold(attemptLock_);
        WSANETWORKEVENTS happened;
        if (WSAEnumNetworkEvents(socket_, networkEvent_, &happened) == 0) {
            if ((happened.lNetworkEvents & FD_CONNECT) == 0) return;
            connected = happened.iErrorCode[FD_CONNECT_BIT] == 0;
            // An address that refuses gives way to the next one.
            if (!connected && connecting_) {
                CloseSocketLocked();
                if (StartNextAttempt() == 0) return;
            }
        }
        connecting_ = false;
    }
    if (!connected) {
        ClearDeadline();
        Deliver(EvNetError, nullptr, 0);
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

void SocketConnection::OnWaitTimedOut()
{
    Deliver(EvTick, nullptr, 0);
    if (DeadlinePassed()) {
        CloseSocket();
        Deliver(EvTimedOut, nullptr, 0);
        ClearDeadline();
    }
    OnConnectDeadline();
}

void SocketConnection::FinishWorker()
{
    Deliver(EvWorkerExit, nullptr, 0);
    CloseSocket();
    // The cancelled receive still owns the overlapped record and the sink's
    // buffer until it completes; both must outlive it.
    if (receivePending_) WaitForSingleObject(receiveEvent_, kCancelWaitMs);
    receivePending_ = false;
    ReleaseEvents();
}

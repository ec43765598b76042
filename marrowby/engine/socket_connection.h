// TCP client connection over Winsock 2 with its own worker thread.
// The worker waits on (receive completed, connect completed, stop), keeps
// one overlapped receive outstanding, enforces the receive deadline and
// turns everything into events for a ConnectionSink. A host is resolved for
// IPv4 and IPv6 alike, and its addresses are tried in the order the
// resolution gives them, each with the same connect deadline.
#pragma once

#include <stdint.h>
#include <winsock2.h>
#include <windows.h>

enum ConnectionEvent {
    EvConnected = 1,
    EvNetError = 2,
    EvClosed = 3,
    EvData = 6,
    EvTimedOut = 7,
    EvWorkerExit = 8,
    EvHostNotFound = 9,
    EvTick = 10,
};

// Receiver of connection events. For every event but EvData, data is null
// and length 0. For EvData the result tells the worker whether to post the
// next receive (0) or not (non-zero).
class ConnectionSink {
public:
    virtual ~ConnectionSink() {}
    virtual int32_t OnConnectionEvent(int event, const char* data, uint32_t length, void* context)
    {
        (void)event;
        (void)data;
        (void)length;
        (void)context;
        return 0;
    }
};

const uint32_t kNoTimeout = 0xFFFFFFFFu;
const uint32_t kDefaultWaitMs = 300;
// Addresses of one host that are tried; a host with more gives up after these.
const int kMaxPeerAddresses = 16;

struct ReceiveBuffer {
    char* data;
    uint32_t length;
};

class SocketConnection {
public:
    SocketConnection();
    ~SocketConnection();

    void ResetConnection();
    // Returns 0; 1 when count is not positive; 2 when an event or the thread
    // could not be created.
    int StartWorker(ConnectionSink* sink, const ReceiveBuffer* buffers, int count, uint32_t waitMs, void* context);
    // Ends the worker and waits for it. Called on the worker itself (from
    // inside an event) it cannot wait: it only asks the worker to end after
    // the current event, and a later call from another thread waits.
    int StopWorker();
    // host: a name, a dotted IPv4 address or an IPv6 literal without
    // brackets. Returns 0 when the connect is under way; 1 socket set-up
    // failed; 2 host name not resolved (EvHostNotFound delivered); 3 connect
    // refused at once (1 and 3 only once every address has failed so). An
    // address that refuses the connect later, or does not answer within
    // timeoutMs, gives way to the next one; EvNetError follows the last.
    int Connect(const char* host, uint16_t port, uint32_t timeoutMs);
    // Where the next receive goes (the first buffer entry). Called by the sink
    // inside an event, before the worker posts that receive, or before
    // Connect; the receive after a connect goes where the entry points then.
    void SetReceiveBuffer(char* data, uint32_t length);
    // One blocking-style send of the whole text; 2 when the call fails.
    int Send(const char* data, uint32_t length);
    int CloseSocket();

private:
    struct PeerAddress {
        sockaddr_storage address;
        int length;
    };

    SocketConnection(const SocketConnection&) = delete;
    SocketConnection& operator=(const SocketConnection&) = delete;

    static DWORD WINAPI WorkerMain(void* param);
    void RunWorker();
    int32_t Deliver(int event, const char* data, uint32_t length);
    bool PostReceive();
    void ResetSocketEvents();
    void SetDeadline();
    void ClearDeadline() { hasDeadline_ = false; }
    bool DeadlinePassed() const;
    void OnReceiveCompleted();
    void OnNetworkEvent();
    void OnWaitTimedOut();
    void FinishWorker();
    void ReleaseEvents();
    static int ResolveHost(const char* host, uint16_t port, PeerAddress* out, int capacity);
    int StartNextAttempt();
    int StartAttempt(const PeerAddress& peer);
    void CloseSocketLocked();
    bool ConnectDeadlinePassed() const;
    void OnConnectDeadline();

    SOCKET socket_;
    WSAEVENT networkEvent_;
    WSAEVENT receiveEvent_;
    HANDLE stopEvent_;
    HANDLE thread_;
    DWORD threadId_;
    // Set once the stop event has been signalled for this worker, so that a
    // later StopWorker never signals it again after the worker closed it.
    volatile LONG stopSignalled_;
    void* context_;
    uint32_t timeoutMs_;
    uint32_t waitMs_;
    ConnectionSink* sink_;
    ReceiveBuffer buffers_[2];

    // The connect under way: the host's addresses, the next one to try and
    // the deadline of the current attempt. Connect runs on whichever thread
    // asks while the worker watches the attempt, so both hold attemptLock_
    // for these and for socket_ while a connect may be under way (never
    // across a call of the sink).
    CRITICAL_SECTION attemptLock_;
    PeerAddress addresses_[kMaxPeerAddresses];
    int addressCount_;
    int nextAddress_;
    bool connecting_;
    bool hasConnectDeadline_;
    uint32_t connectDeadline_;

    // Worker-only state: the outstanding receive and its deadline.
    WSAOVERLAPPED overlapped_;
    bool receivePending_;
    bool hasDeadline_;
    uint32_t deadline_;
};

// One running HTTP download: the exchange, its socket connection with the
// worker thread, the local file and the application's callback.
#pragma once

#include <stdint.h>
#include <winsock2.h>
#include <windows.h>

#include "marrowby/engine/http_exchange.h"
#include "marrowby/engine/job_failure.h"
#include "marrowby/engine/proxy_tunnel.h"
#include "marrowby/engine/rate_limit.h"
#include "marrowby/engine/segment_plan.h"
#include "common/safe_file_name.h"
#include "marrowby/engine/socket_connection.h"
#include "marrowby/engine/tls_input.h"
#include "marrowby/engine/tls_session.h"

enum JobCode {
    JobAccepted = 1,  // info: the ResponseSummary, valid during the call
    JobClosed = 2,
    JobData = 3,  // count: bytes written
    JobTimedOut = 4,
    JobFailed = 5,  // LastFailure() says why
    JobTick = 6,
    JobFileError = 7,
};

// Called on the job's worker thread (only the JobFailed of a host name that
// cannot be resolved during Start comes on the thread calling Start). The
// result is ignored. Stop called from inside the callback does not wait for
// the worker (it cannot); the callback must never destroy the job.
typedef int32_t (*JobCallback)(void* info, int32_t code, int32_t count, void* userValue);

struct JobCallbackRegistration {
    JobCallback callback;
    void* userValue;
};

const size_t kJobFolderCapacity = 264;  // 260 bytes, a separator and the terminator
const uint32_t kJobReceiveBufferSize = 64000;
// TLS records arrive in pieces of at most 16 KiB that are decrypted one by
// one; a larger buffer takes several of them per receive, so each costs
// fewer trips through the socket layer.
const uint32_t kJobTlsBufferSize = 256 * 1024;
const uint32_t kJobWaitMs = 500;
// Redirects followed in one run before the job gives up.
const int32_t kMaxRedirects = 20;

// Room for the longest request the exchange fields allow: request line with
// proxy form, Host, Referer, User-Agent, Range, the fixed lines and the
// Authorization line, so no request is ever cut or refused for its length.
const size_t kJobRequestCapacity = 28672;

// Longest name a new download's file gets: a long folder and a long name
// must still make a path the ANSI file calls take.
const size_t kJobNewFileNameMax = 64;

class DownloadJob;

// The connections of one segmented download and how far each segment got;
// shared by the first job of the download and the jobs it starts beside it.
struct SegmentCrew {
    CRITICAL_SECTION lock;
    SegmentPlan plan;
    bool planned;        // plan holds this download's segments
    bool accepted;       // the application has the download's JobAccepted
    bool finalReported;  // the run's end has been reported
    bool stateDirty;     // the plan changed since the state file was written
    bool merged;         // the named file is whole and the side files are gone
    bool stopKept;       // the run's stop has kept (or discarded) the state file
    uint32_t stateTick;  // tick count of the last write of the state file
    int32_t active;      // connections still working in this run
    int32_t helperCount;
    DownloadJob* helpers[kMaxConnectionsPerItem];
};

class DownloadJob : public ConnectionSink {
public:
    DownloadJob();
    ~DownloadJob() override;

    // Stops any previous run, resets the exchange, registers the callback
    // (when given) and starts the worker. 0; 2 no callback; 3 no worker.
    int Prepare(const JobCallbackRegistration* registration);
    // "[user:password@]host[:port]", host also an IPv6 literal in brackets
    // ("[::1]:3128"); the login is the proxy's own.
    int SetProxy(const char* text, uint16_t defaultPort);
    int SetCredentials(const char* user, const char* password);
    int SetReferer(const char* text);
    int SetUserAgent(const char* text);
    // ETag and Last-Modified (seconds since 1970; 0 none) of the server's file
    // when the download began: a resumed response that names other ones
    // means the file changed, and the download starts again from byte 0.
    int SetValidators(const char* entityTag, int32_t lastModified);
    // Connections for the next Start (1 to 16; 1 fetches over one, as
    // always). More than one are used for a file of known size whose server
    // takes ranges: each fetches segments of it at their offsets.
    int SetSegments(int32_t connections);
    // The segments of an earlier run (FormatSegmentPlan text, empty for
    // none), used by Start when no state file beside the file says more.
    int SetSegmentPlan(const char* text);
    // This download's own limit in bytes per second (0 none), shared by its
    // connections; may change while it runs.
    void SetSpeedLimit(int64_t bytesPerSecond);
    // The segments as they stand, for the list; false (out empty) when the
    // download is not segmented.
    bool SegmentPlanText(char* out, size_t capacity);
    // 0 when the connection attempt is under way; 1 when it could not be
    // started (including a URL that is neither http nor https).
    int Start(const char* url, int64_t offset, const char* folder, const char* lastName, uint32_t timeoutMs);
    // Ends the worker and waits for it; afterwards nothing is reported. From
    // inside the callback it cannot wait: it silences the job and asks the
    // worker to end. The job must never be destroyed from inside the callback.
    int Stop();

    int32_t OnConnectionEvent(int event, const char* data, uint32_t length, void* context) override;

    // Why the run ended with JobFailed (a JobFailure); set before that report,
    // so the callback may read it.
    int32_t LastFailure() const { return failure_; }
    // What more is known of that failure: the HTTP status of JobFailureHttpStatus,
    // the system error code of JobFailureFileWrite; else 0.
    int32_t LastFailureDetail() const { return failureDetail_; }

private:
    // Results of the data procedure, read by the worker.
    static const int32_t kPostNextReceive = 0;
    static const int32_t kReconnecting = 1;  // a new connection is being made
    static const int32_t kTransferEnded = 2;

    // What the current connection carries.
    enum LinkPhase {
        kLinkPlain,      // HTTP in the clear
        kLinkTunnel,     // waiting for the proxy's answer to CONNECT
        kLinkHandshake,  // TLS handshake (or a renegotiation) under way
        kLinkSecure,     // HTTP inside TLS records
    };

    DownloadJob(const DownloadJob&) = delete;
    DownloadJob& operator=(const DownloadJob&) = delete;

    void Report(int32_t code, void* info, int32_t count);
    // Segments (download_job_segments.cpp).
    void ResetSegments();
    int64_t ResumeSegments(int64_t offset);
    bool PlanOnAccept(ResponseSummary& summary);
    void LaunchHelpers();
    int StartHelper(DownloadJob& primary, int32_t connection, int64_t first, int64_t end);
    int32_t CheckSegmentAnswer(int32_t status, char* data, size_t offset, size_t count);
    bool WriteSegmentBody(const char* data, size_t count);
    int32_t NextSegment();
    void EndConnection(int32_t code);
    void PaceReceive(int64_t count);
    void StopHelpers();
    void SegmentPath(char* out, size_t capacity, const char* suffix) const;
    void WriteStateFile();
    bool ReadStateFile(SegmentPlan& plan);
    bool TrustStoredPlan(SegmentPlan& plan);
    void KeepStateFile();
    bool WritesHeadSegment();
    int32_t FinishSegments();
    void RunPendingMerge();
    bool JoinsPlan() const;
    bool RetryRefused();
    void ResetLink();
    void ReceiveIntoTlsBuffer();
    int32_t OnConnected();
    int32_t OnData(char* data, uint32_t length);
    int32_t OnClosed();
    int32_t ReadTunnelAnswer(const char* data, uint32_t length);
    int32_t BeginHandshake();
    int32_t ProcessTlsInput();
    int32_t FinishHandshake();
    int32_t DecryptRecords();
    int32_t WaitForMoreRecords();
    bool BodyMayBeCut() const;
    int32_t SendRequest();
    int32_t ProcessData(char* data, uint32_t length);
    int32_t EndOfResponseFailure() const;
    int32_t EndOfConnection();
    bool BodyEnded() const;
    bool RangeIsUsable() const;
    int32_t Reconnect();
    int32_t AcceptResponse(const char* body, size_t count);
    int32_t FollowResponse(int32_t status);
    int32_t AnswerUnsatisfiedRange();
    bool ServerFileChanged() const;
    int32_t RestartFromZero(int32_t failure);
    int32_t Reconnect(const ConnectTarget& target, uint32_t timeoutMs);
    void ResetRunState();
    void ForgetLoginOnOriginChange();
    int32_t EndTransfer(int32_t code);
    int32_t FailTransfer(int32_t failure);
    int32_t FailFile();
    int64_t OwnFileSize();
    void ChooseLocalName(char* out, size_t capacity);
    int OpenLocalFile(const ResponseSummary& summary);
    bool SizeFileForSegments(int64_t total);
    bool WriteBody(const char* data, size_t count);
    void CloseFile();

    HttpExchange exchange_;
    SocketConnection connection_;
    HANDLE file_;
    char folder_[kJobFolderCapacity];
    char receiveBuffer_[kJobReceiveBufferSize];
    uint32_t timeoutMs_;
    JobCallbackRegistration registration_;
    CRITICAL_SECTION lock_;

    // Worker-side state of one run, set by Start before connecting.
    char request_[kJobRequestCapacity];
    // The download's own file when it has one (a resume continues into it,
    // never into a new name); empty for a new download.
    char ownName_[kLocalFileNameMax + 1];
    int64_t ownSize_;  // that file's size at the start; -1 none
    char expectedTag_[kEntityTagMax + 1];
    int32_t expectedModified_;
    bool restarted_;  // the run has started again from byte 0 once
    int32_t redirects_;
    bool sentCredentials_;   // the last request carried Authorization
    int32_t requestScheme_;  // origin of the last request
    char requestHost_[kUrlHostMax + 1];
    uint16_t requestPort_;
    bool ended_;     // EndTransfer has reported the end
    bool timedOut_;  // the receive deadline ended the run: the close that follows is plain
    volatile int32_t failure_;
    volatile int32_t failureDetail_;

    // Worker-side state of the current connection.
    LinkPhase linkPhase_;
    bool requestSent_;
    TunnelAnswer tunnelAnswer_;
    TlsInput tlsInput_;  // over tlsBuffer_
    TlsSession tls_;
    char tlsBuffer_[kJobTlsBufferSize];

    // Segments: the crew this connection works in (the first job owns it),
    // the first job of the download (this one when it is the first), and
    // this connection's number in the plan (0 for the first job).
    SegmentCrew* ownCrew_;
    SegmentCrew* crew_;
    DownloadJob* primary_;
    int32_t connectionId_;
    int32_t connectionsWanted_;
    bool segmented_;              // writes by the plan
    bool segmentFinished_;        // its segment is complete: it goes on with other work
    bool retired_;                // it has ended for good in this run
    volatile LONG mergePending_;  // every segment was written before: the run only merges the files
    int32_t loneRetries_;         // refusals answered by asking again
    volatile LONG holdsConnection_;
    volatile LONG stopping_;
    RateLimit itemLimit_;
    char resumeText_[kSegmentPlanTextMax];
};

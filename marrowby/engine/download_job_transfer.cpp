// The job's side of the connection: request, response, redirects and
// authentication retries. Runs on the worker thread. What a connection
// carries before the HTTP response (proxy tunnel, TLS) is in
// download_job_link.cpp.
#include <string.h>

#include "common/bounded_text.h"
#include "marrowby/engine/code_page_text.h"
#include "marrowby/engine/file_name_claims.h"
#include "marrowby/engine/download_job.h"
#include "marrowby/engine/http_result.h"
#include "marrowby/engine/lock_scope.h"
#include "marrowby/engine/name_cut.h"
#include "marrowby/engine/proxy_tunnel.h"
#include "marrowby/engine/request.h"
#include "marrowby/engine/response.h"
#include "common/safe_file_name.h"
#include "marrowby/engine/url.h"

namespace {

// A download is a GET, so 307 and 308 are followed like the older codes.
bool IsRedirect(int32_t status)
{
    return (status >= 300 && status <= 305) || status == 307 || status == 308;
}

bool IsClientOrServerError(int32_t status)
{
    return status >= 400 && status <= 599;
}

// The longest request the exchange can produce, so the request buffer is
// known to hold every one of them (a CONNECT request is far shorter).
constexpr size_t kLongestRequest =
    sizeof("HEAD http://[]:65535 HTTP/1.1\r\n") + kUrlHostMax + 3 * kUrlPathMax + sizeof("Host: []:65535\r\n") +
    kUrlHostMax + sizeof("Content-Length: -9223372036854775808\r\n") + sizeof("Referer: \r\n") + kRefererMax +
    sizeof("User-Agent: \r\n") + kUserAgentMax + sizeof("Range: bytes=9223372036854775807-9223372036854775807\r\n") +
    sizeof("Accept: */*\r\nConnection: close\r\n") + kBasicCredentialsLineMax + kProxyCredentialsLineMax +
    sizeof("\r\n");
static_assert(kLongestRequest < kJobRequestCapacity, "request buffer too small");

}  // namespace

int32_t DownloadJob::OnConnectionEvent(int event, const char* data, uint32_t length, void* context)
{
    (void)context;
    switch (event) {
    case EvConnected: return OnConnected();
    case EvNetError:
        failure_ = JobFailureNetwork;
        Report(JobFailed, nullptr, 0);
        return 0;
    case EvHostNotFound:
        failure_ = JobFailureHostNotFound;
        Report(JobFailed, nullptr, 0);
        return 0;
    case EvClosed: return OnClosed();
    // data lies in the job's own receive buffer, which the response reader
    // may rewrite in place (a chunked body).
    case EvData: return OnData(const_cast<char*>(data), length);
    case EvTimedOut:
        // The closed socket's receive still ends as EvClosed: a plain
        // JobClosed then, whatever the connection carried.
        linkPhase_ = kLinkPlain;
        timedOut_ = true;
        Report(JobTimedOut, nullptr, 0);
        return 0;
    case EvWorkerExit:
        CloseTlsSession(tls_, connection_);
        CloseFile();
        EndTlsSession(tls_);
        return 0;
    case EvTick:
        if (crew_ != nullptr && InterlockedExchange(&mergePending_, 0) != 0) {
            RunPendingMerge();
            return 0;
        }
        if (crew_ != nullptr && primary_ == this) WriteStateFile();
        Report(JobTick, nullptr, 0);
        return 0;
    default: return 0;
    }
}

int32_t DownloadJob::OnData(char* data, uint32_t length)
{
    switch (linkPhase_) {
    case kLinkPlain: return ProcessData(data, length);
    case kLinkTunnel: return ReadTunnelAnswer(data, length);
    default:
        // Received where WaitForMoreRecords asked: behind the pending bytes.
        TakeReceived(tlsInput_, length);
        return ProcessTlsInput();
    }
}

// The server closed the connection (or a receive failed). Before the
// response could begin, or with a body that may have been cut unnoticed,
// that is a failure rather than the usual end.
int32_t DownloadJob::OnClosed()
{
    if (ended_) return 0;
    // A segment's server that closed without an answer refused it.
    if (!exchange_.headersComplete && !timedOut_ && RetryRefused()) {
        Reconnect();
        return 0;
    }
    int32_t failure = JobFailureNone;
    switch (linkPhase_) {
    case kLinkTunnel: failure = JobFailureProxyTunnel; break;
    case kLinkHandshake: failure = JobFailureTlsHandshake; break;
    case kLinkSecure:
        if (BodyMayBeCut()) failure = JobFailureTlsTruncated;
        break;
    default: break;
    }
    if (failure == JobFailureNone && !timedOut_) failure = EndOfResponseFailure();
    CloseFile();
    if (failure == JobFailureNone) {
        Report(JobClosed, nullptr, 0);
    } else {
        failure_ = failure;
        Report(JobFailed, nullptr, 0);
    }
    return 0;
}

int32_t DownloadJob::SendRequest()
{
    size_t length = 0;
    int32_t composed;
    {
        LockScope hold(lock_);
        composed = ComposeRequest(exchange_, request_, sizeof request_, length);
        sentCredentials_ = exchange_.authScheme == kAuthBasic;
        requestScheme_ = exchange_.url.scheme;
        mw_text::Copy(requestHost_, exchange_.url.host);
        requestPort_ = exchange_.url.port;
    }
    // Never send a cut or empty request; closing ends the posted receive.
    if (composed != 0 || length == 0) return FailTransfer(JobFailureRequest);
    requestSent_ = true;
    if (linkPhase_ == kLinkSecure) {
        if (SendTlsData(tls_, connection_, request_, length) != 0) return FailTransfer(JobFailureRequest);
        return kPostNextReceive;
    }
    connection_.Send(request_, (uint32_t)length);
    return kPostNextReceive;
}

// Why a connection that ends here leaves the answer incomplete: no final
// head yet, or a chunked body without its last chunk. A body with or without
// Content-Length is judged by the application from the counts.
int32_t DownloadJob::EndOfResponseFailure() const
{
    if (!exchange_.headersComplete) return JobFailureNoResponse;
    if (exchange_.chunked && exchange_.chunkedBody.phase != kChunkDone) return JobFailureBodyCut;
    return JobFailureNone;
}

// The server closed the connection at a point where that is allowed.
int32_t DownloadJob::EndOfConnection()
{
    int32_t failure = EndOfResponseFailure();
    return failure == JobFailureNone ? EndTransfer(JobClosed) : FailTransfer(failure);
}

int32_t DownloadJob::ProcessData(char* data, uint32_t length)
{
    size_t offset = 0;
    size_t count = 0;
    int32_t result = FeedResponse(exchange_, data, length, offset, count);
    if (result == kFeedNeedMore || result == kFeedBodyComplete) {
        if (count > 0 && !WriteBody(data + offset, count)) return FailFile();
        if (segmentFinished_) return NextSegment();
        return BodyEnded() ? EndTransfer(JobClosed) : kPostNextReceive;
    }
    if (result != kFeedHeadersComplete) return FailTransfer(JobFailureBadResponse);

    int32_t status = exchange_.response.status;
    // A redirect that names no new place would only ask for the same
    // answer again: it ends the job with its status instead.
    if (IsRedirect(status) && !exchange_.locationSeen) return FailTransfer(JobFailureHttpStatus);
    if (IsRedirect(status) || status == 401) return FollowResponse(status);
    if (JoinsPlan()) return CheckSegmentAnswer(status, data, offset, count);
    if (status == 416) return AnswerUnsatisfiedRange();
    if (IsClientOrServerError(status)) return FailTransfer(JobFailureHttpStatus);
    if (status == 206 && !RangeIsUsable()) return RestartFromZero(JobFailureBadRange);
    if (status == 206 && ServerFileChanged()) return RestartFromZero(JobFailureHttpStatus);
    int32_t accepted = AcceptResponse(data + offset, count);
    if (accepted == kPostNextReceive && BodyEnded()) return EndTransfer(JobClosed);
    return accepted;
}

// A body tells its own end by its last chunk or its Content-Length: the job
// does not wait for the close, which a server that keeps connections open
// despite "Connection: close" would send only after its idle time.
bool DownloadJob::BodyEnded() const
{
    if (exchange_.chunked) return exchange_.chunkedBody.phase == kChunkDone;
    return exchange_.contentLengthSeen != 0 && exchange_.response.bodyReceived >= exchange_.response.contentLength;
}

// A 206 is written at its Content-Range's first byte, which must be one the
// partial file already reaches. Without a readable range the body cannot be
// placed, and splicing it anywhere would corrupt the file.
bool DownloadJob::RangeIsUsable() const
{
    // A segment is written only where it was asked for.
    if (segmented_)
        return exchange_.response.rangeRemaining > 0 && exchange_.response.rangeFirst == exchange_.rangeStart;
    return exchange_.response.rangeRemaining > 0 && exchange_.response.rangeFirst <= exchange_.rangeStart;
}

int32_t DownloadJob::EndTransfer(int32_t code)
{
    CloseTlsSession(tls_, connection_);
    connection_.CloseSocket();
    CloseFile();
    ended_ = true;
    Report(code, nullptr, 0);
    return kTransferEnded;
}

int32_t DownloadJob::FailTransfer(int32_t failure)
{
    failure_ = failure;
    failureDetail_ = failure == JobFailureHttpStatus ? exchange_.response.status : 0;
    return EndTransfer(JobFailed);
}

// The local file refused: the system's reason (a full disk, a read-only
// file, one held by another program) is what the person can act on.
int32_t DownloadJob::FailFile()
{
    DWORD error = GetLastError();
    failure_ = JobFailureFileWrite;
    failureDetail_ = static_cast<int32_t>(error);
    return EndTransfer(JobFileError);
}

int32_t DownloadJob::AcceptResponse(const char* body, size_t count)
{
    ResponseSummary summary = TakeSummary(exchange_);
    // The summary carries the name the file is saved under; the exchange
    // keeps the name as the server gave it.
    ChooseLocalName(summary.fileName, sizeof summary.fileName);
    const bool joining = JoinsPlan();
    ResponseSummary told = summary;
    const bool planned = !joining && primary_ == this && PlanOnAccept(told);
    if (OpenLocalFile(summary) != 0) return FailFile();
    if (!joining) Report(JobAccepted, &told, 0);
    if (planned) LaunchHelpers();
    if (count > 0 && !WriteBody(body, count)) return FailFile();
    if (segmentFinished_) return NextSegment();
    return kPostNextReceive;
}

// The download's own file keeps its name. A new download's name is the
// server's, in the program's code page and safe for Windows, and not the
// name of any other download's file or of a file that exists.
void DownloadJob::ChooseLocalName(char* out, size_t capacity)
{
    if (ownName_[0] != '\0') {
        mw_text::Copy(out, capacity, ownName_);
        return;
    }
    char decoded[kReceivedNameMax + 1];
    NameInCodePage(exchange_.response.fileName, exchange_.response.fileNameCharset, Utf8ToProgramCodePage, decoded,
                   sizeof decoded);
    char cleaned[kReceivedNameMax + 1];
    SafeLocalFileName(decoded, cleaned, sizeof cleaned);
    // A long name loses part of its stem, never its extension.
    char safe[kJobNewFileNameMax + 1];
    CopyNameKeepingExtension(safe, sizeof safe, cleaned, strlen(cleaned));
    if (exchange_.rangeStart > 0) {
        // A resume without a name of its own: the caller says the bytes
        // before the offset are in the file of the server's name.
        mw_text::Copy(out, capacity, safe);
        HoldFileName(registration_.userValue, folder_, out);
    } else {
        char chosen[kJobNewFileNameMax + 1];
        ClaimFreeFileName(registration_.userValue, folder_, safe, chosen, sizeof chosen);
        mw_text::Copy(out, capacity, chosen);
    }
    // A restart within this run (the server's file changed) goes on in it.
    mw_text::Copy(ownName_, out);
}

// The login belongs to the scheme, host and port it was given for. A
// redirect to any other origin (https to http included) forgets it, so
// neither the header nor a later 401 of the new origin can obtain the
// password; only credentials written into the new URL itself (already taken
// over from the Location) go there.
void DownloadJob::ForgetLoginOnOriginChange()
{
    const UrlParts& url = exchange_.url;
    if (requestScheme_ == url.scheme && SameTextIgnoringCase(requestHost_, url.host) == 0 && requestPort_ == url.port)
        return;
    exchange_.authScheme = kAuthNone;
    exchange_.realm[0] = '\0';
    if (url.user[0] != '\0' && url.password[0] != '\0') return;
    SecureZeroMemory(exchange_.user, sizeof exchange_.user);
    SecureZeroMemory(exchange_.password, sizeof exchange_.password);
}

// Reconnects after a redirect or a Basic challenge. Both are bounded: a
// server that keeps redirecting, or answers 401 to the credentials it asked
// for, would otherwise keep the job reconnecting forever. A challenge with
// no login to answer it with ends the job as well.
int32_t DownloadJob::FollowResponse(int32_t status)
{
    bool noLogin = exchange_.user[0] == '\0' && exchange_.password[0] == '\0';
    if (status == 401 && (sentCredentials_ || exchange_.authScheme != kAuthBasic || noLogin)) {
        // Whether a login is missing or was refused tells the person what to do.
        failure_ = JobFailureLogin;
        failureDetail_ = noLogin ? kLoginNotGiven : 0;
        return EndTransfer(JobFailed);
    }
    if (status != 401 && ++redirects_ > kMaxRedirects) return FailTransfer(JobFailureRedirects);

    if (status != 401) {
        LockScope hold(lock_);
        ForgetLoginOnOriginChange();
    }
    return Reconnect();
}

// Closes this connection and connects again for the exchange as it now
// stands (a new URL, credentials, or no range).
int32_t DownloadJob::Reconnect()
{
    ConnectTarget target;
    uint32_t timeoutMs;
    {
        LockScope hold(lock_);
        target = ComputeTarget(exchange_);
        ResetResponse(exchange_);
        timeoutMs = timeoutMs_;
    }
    return Reconnect(target, timeoutMs);
}

int32_t DownloadJob::Reconnect(const ConnectTarget& target, uint32_t timeoutMs)
{
    CloseTlsSession(tls_, connection_);
    connection_.CloseSocket();
    ResetLink();
    int connected = connection_.Connect(target.host, target.port, timeoutMs);
    if (connected == 0) return kReconnecting;
    connection_.CloseSocket();
    ended_ = true;
    // An unresolved host has been reported through EvHostNotFound already.
    if (connected != 2) {
        failure_ = JobFailureNetwork;
        Report(JobFailed, nullptr, 0);
    }
    return kTransferEnded;
}

// A resume the server cannot satisfy. When the size it names is the size of
// the file here, the file is complete: the application hears so (all bytes
// present, none written) and the file stays untouched. Any other answer
// means the server's file is not the one begun here: it is fetched again.
int32_t DownloadJob::AnswerUnsatisfiedRange()
{
    if (exchange_.rangeStart <= 0) return FailTransfer(JobFailureHttpStatus);
    const int64_t total = exchange_.response.unsatisfiedTotal;
    if (total <= 0 || total != ownSize_ || ownName_[0] == '\0') return RestartFromZero(JobFailureHttpStatus);
    ResponseSummary summary = TakeSummary(exchange_);
    mw_text::Copy(summary.fileName, ownName_);
    summary.rangeFirst = total;
    summary.rangeRemaining = 0;
    summary.totalSize = total;
    // The validators of the file begun here still hold.
    mw_text::Copy(summary.entityTag, expectedTag_);
    summary.lastModified = expectedModified_;
    Report(JobAccepted, &summary, 0);
    return EndTransfer(JobClosed);
}

// The validators of the first response against those of a resumed one: the
// ETags when both sides have one, else the dates; a side that names neither
// cannot tell.
bool DownloadJob::ServerFileChanged() const
{
    const ResponseSummary& response = exchange_.response;
    if (segmented_ && crew_ != nullptr && crew_->planned && response.totalSize != crew_->plan.total) return true;
    if (exchange_.rangeStart <= 0 && !segmented_) return false;
    if (expectedTag_[0] != '\0' && response.entityTag[0] != '\0') return strcmp(expectedTag_, response.entityTag) != 0;
    return expectedModified_ != 0 && response.lastModified != 0 && expectedModified_ != response.lastModified;
}

// Asks for the whole file again; the response rewrites the file from byte 0.
// Once per run, and only for a resume: a server that keeps answering so, or
// answers so to a request without a range, ends the run with the reason.
int32_t DownloadJob::RestartFromZero(int32_t failure)
{
    if (restarted_ || exchange_.rangeStart <= 0) return FailTransfer(failure);
    restarted_ = true;
    {
        LockScope hold(lock_);
        exchange_.rangeStart = 0;
        exchange_.rangeLength = 0;
    }
    // Segments of the old file are worth nothing: the answer plans anew.
    if (crew_ != nullptr) {
        LockScope hold(crew_->lock);
        crew_->planned = false;
        crew_->plan.count = 0;
    }
    segmented_ = false;
    return Reconnect();
}

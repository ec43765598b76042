// What a connection carries before the HTTP response: for an https URL the
// proxy's CONNECT tunnel (when a proxy is set) and the TLS handshake, then
// HTTP inside TLS records. The plain bytes of the records go to the same
// response reader and file as on a plain connection. Runs on the worker
// thread, except ResetLink, which Start also calls before connecting.
#include <string.h>

#include "common/bounded_text.h"
#include "marrowby/engine/download_job.h"
#include "marrowby/engine/lock_scope.h"

// Before each connect: the first receive goes into the TLS buffer when the
// server's first bytes will be TLS, else into the receive buffer.
void DownloadJob::ResetLink()
{
    EndTlsSession(tls_);
    ResetTunnelAnswer(tunnelAnswer_);
    linkPhase_ = kLinkPlain;
    requestSent_ = false;
    if (exchange_.url.scheme == kSchemeHttps && !UsesProxyTunnel(exchange_)) {
        ReceiveIntoTlsBuffer();
    } else {
        ResetTlsInput(tlsInput_, tlsBuffer_, kJobTlsBufferSize);
        connection_.SetReceiveBuffer(receiveBuffer_, kJobReceiveBufferSize);
    }
}

void DownloadJob::ReceiveIntoTlsBuffer()
{
    ResetTlsInput(tlsInput_, tlsBuffer_, kJobTlsBufferSize);
    connection_.SetReceiveBuffer(tlsBuffer_, kJobTlsBufferSize);
}

int32_t DownloadJob::OnConnected()
{
    bool secure;
    bool tunnel;
    size_t length = 0;
    {
        LockScope hold(lock_);
        secure = exchange_.url.scheme == kSchemeHttps;
        tunnel = UsesProxyTunnel(exchange_);
        if (tunnel) ComposeConnectRequest(exchange_, request_, sizeof request_, length);
    }
    if (!secure) return SendRequest();
    if (!tunnel) return BeginHandshake();
    if (length == 0) return FailTransfer(JobFailureRequest);
    linkPhase_ = kLinkTunnel;
    connection_.Send(request_, (uint32_t)length);
    return kPostNextReceive;
}

int32_t DownloadJob::ReadTunnelAnswer(const char* data, uint32_t length)
{
    size_t used = 0;
    int32_t answer = FeedTunnelAnswer(tunnelAnswer_, data, length, used);
    if (answer == kTunnelNeedMore) return kPostNextReceive;
    if (answer != kTunnelOpen) return FailTransfer(JobFailureProxyTunnel);
    int32_t started = BeginHandshake();
    if (started != kPostNextReceive || used == length) return started;
    // The server spoke first through the tunnel: its bytes came with the
    // proxy's answer (far less than the TLS buffer holds).
    ReceiveSpan span = NextReceiveSpan(tlsInput_);
    memcpy(span.data, data + used, length - used);
    TakeReceived(tlsInput_, length - used);
    return ProcessTlsInput();
}

int32_t DownloadJob::BeginHandshake()
{
    char host[kUrlHostMax + 1];
    {
        LockScope hold(lock_);
        mw_text::Copy(host, exchange_.url.host);
    }
    linkPhase_ = kLinkHandshake;
    // Without a tunnel the receive posted at the connect already goes there.
    ReceiveIntoTlsBuffer();
    if (StartTlsHandshake(tls_, connection_, host) != kTlsNeedMore) return FailTransfer(JobFailureTlsHandshake);
    return kPostNextReceive;
}

// Handshakes and records, in turn, until the received bytes are used up: a
// renegotiation or a post-handshake message in the middle of the data goes
// back to the handshake and then on with the records.
int32_t DownloadJob::ProcessTlsInput()
{
    for (;;) {
        if (linkPhase_ == kLinkHandshake) {
            int32_t step = ContinueTlsHandshake(tls_, connection_, tlsInput_);
            if (step == kTlsNeedMore) return WaitForMoreRecords();
            if (step != kTlsHandshakeDone) return FailTransfer(JobFailureTlsHandshake);
            int32_t finished = FinishHandshake();
            if (finished != kPostNextReceive) return finished;
        }
        int32_t result = DecryptRecords();
        if (result != kPostNextReceive || linkPhase_ != kLinkHandshake) return result;
    }
}

// The certificate is checked after every handshake, before any HTTP byte is
// sent or taken; the request goes out once per connection.
int32_t DownloadJob::FinishHandshake()
{
    int32_t failure = CheckServerCertificate(tls_);
    if (failure != JobFailureNone) return FailTransfer(failure);
    linkPhase_ = kLinkSecure;
    return requestSent_ ? kPostNextReceive : SendRequest();
}

// Decrypts every complete record and hands their data to the response
// reader as one piece. Returns with linkPhase_ kLinkHandshake when the
// server asked for a renegotiation.
int32_t DownloadJob::DecryptRecords()
{
    PlainRun run = {nullptr, 0};
    for (;;) {
        DecryptedRecord record;
        int32_t step = DecryptTlsRecord(tls_, tlsInput_, record);
        if (step == kTlsRecordData) {
            AppendPlain(run, record);
            continue;
        }
        if (run.length > 0) {
            int32_t result = ProcessData(run.data, (uint32_t)run.length);
            // A redirect, a failure or the end: the rest of this connection
            // does not matter any more.
            if (result != kPostNextReceive) return result;
        }
        switch (step) {
        case kTlsNeedMore: return WaitForMoreRecords();
        case kTlsPeerClosed: return EndOfConnection();
        case kTlsRenegotiate:
            // The handshake message comes back as the unprocessed rest.
            // When Schannel kept nothing to answer with, it has already
            // dealt with the message itself (or declines the server's
            // HelloRequest, which TLS allows): the records go on.
            if (PendingTlsBytes(tlsInput_) == 0) continue;
            linkPhase_ = kLinkHandshake;
            return kPostNextReceive;
        default: return FailTransfer(JobFailureTlsData);
        }
    }
}

// The next receive goes behind the bytes of a record still incomplete.
int32_t DownloadJob::WaitForMoreRecords()
{
    ReceiveSpan span = NextReceiveSpan(tlsInput_);
    if (span.length == 0) {
        return FailTransfer(linkPhase_ == kLinkHandshake ? JobFailureTlsHandshake : JobFailureTlsData);
    }
    connection_.SetReceiveBuffer(span.data, (uint32_t)span.length);
    return kPostNextReceive;
}

// Without close_notify, an end of the connection may be an attacker's: a
// body whose size was announced is judged by its size as always, but one
// without a size could be cut anywhere unnoticed.
bool DownloadJob::BodyMayBeCut() const
{
    return exchange_.headersComplete && !exchange_.chunked && exchange_.response.contentLength == 0;
}

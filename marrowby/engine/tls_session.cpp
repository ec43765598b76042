// Schannel through SSPI. Every token Schannel allocates is sent and freed at
// once; records are decrypted inside the job's receive buffer.
#define SCHANNEL_USE_BLACKLISTS  // SCH_CREDENTIALS
#include "marrowby/engine/tls_session.h"

#include <string.h>
#include <subauth.h>
#include <schannel.h>

#include "common/bounded_text.h"

namespace {

// The server's certificate is checked by CheckServerCertificate, never by
// Schannel on its own, so that it is judged the same way on every system.
const ULONG kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                            ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION |
                            ISC_REQ_USE_SUPPLIED_CREDS | ISC_REQ_EXTENDED_ERROR;

const DWORD kCredentialFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;

const DWORD kOlderThanTls12 = SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;

bool Acquire(TlsSession& session, void* authData)
{
    TimeStamp expiry;
    SECURITY_STATUS status = AcquireCredentialsHandleA(nullptr, (SEC_CHAR*)UNISP_NAME_A, SECPKG_CRED_OUTBOUND, nullptr,
                                                       authData, nullptr, nullptr, &session.credentials, &expiry);
    session.hasCredentials = status == SEC_E_OK;
    return session.hasCredentials;
}

// SCH_CREDENTIALS is the only way to TLS 1.3 on systems that have it; older
// systems refuse it, and some refuse the TLS 1.3 bit in SCHANNEL_CRED, so
// each form is tried in turn.
bool AcquireClientCredentials(TlsSession& session)
{
    TLS_PARAMETERS parameters;
    memset(&parameters, 0, sizeof parameters);
    parameters.grbitDisabledProtocols = kOlderThanTls12;
    SCH_CREDENTIALS modern;
    memset(&modern, 0, sizeof modern);
    modern.dwVersion = SCH_CREDENTIALS_VERSION;
    modern.dwFlags = kCredentialFlags;
    modern.cTlsParameters = 1;
    modern.pTlsParameters = &parameters;
    if (Acquire(session, &modern)) return true;

    const DWORD versions[] = {SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT, SP_PROT_TLS1_2_CLIENT};
    for (DWORD enabled : versions) {
        SCHANNEL_CRED legacy;
        memset(&legacy, 0, sizeof legacy);
        legacy.dwVersion = SCHANNEL_CRED_VERSION;
        legacy.dwFlags = kCredentialFlags;
        legacy.grbitEnabledProtocols = enabled;
        if (Acquire(session, &legacy)) return true;
    }
    return false;
}

// Sends a token Schannel produced and frees it. False when it could not be sent.
bool SendToken(SocketConnection& connection, SecBuffer& token)
{
    if (token.pvBuffer == nullptr) return true;
    bool sent = token.cbBuffer == 0 || connection.Send((const char*)token.pvBuffer, token.cbBuffer) == 0;
    FreeContextBuffer(token.pvBuffer);
    token.pvBuffer = nullptr;
    return sent;
}

SECURITY_STATUS NextHandshakeToken(TlsSession& session, SecBufferDesc* input, SecBuffer& token)
{
    SecBufferDesc output = {SECBUFFER_VERSION, 1, &token};
    ULONG attributes = 0;
    bool first = !session.hasContext;
    SECURITY_STATUS status = InitializeSecurityContextA(
        &session.credentials, first ? nullptr : &session.context, session.host, kContextFlags, 0, 0, input, 0,
        first ? &session.context : nullptr, &output, &attributes, nullptr);
    if (first && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK)) session.hasContext = true;
    return status;
}

}  // namespace

void InitTlsSession(TlsSession& session)
{
    memset(&session.credentials, 0, sizeof session.credentials);
    memset(&session.context, 0, sizeof session.context);
    session.hasCredentials = false;
    session.hasContext = false;
    session.established = false;
    session.closeNotifySent = false;
    memset(&session.sizes, 0, sizeof session.sizes);
    session.host[0] = '\0';
}

int32_t StartTlsHandshake(TlsSession& session, SocketConnection& connection, const char* host)
{
    EndTlsSession(session);
    mw_text::Copy(session.host, host);
    if (!AcquireClientCredentials(session)) return kTlsFailed;
    SecBuffer token = {0, SECBUFFER_TOKEN, nullptr};
    SECURITY_STATUS status = NextHandshakeToken(session, nullptr, token);
    bool sent = SendToken(connection, token);
    return status == SEC_I_CONTINUE_NEEDED && sent ? kTlsNeedMore : kTlsFailed;
}

int32_t ContinueTlsHandshake(TlsSession& session, SocketConnection& connection, TlsInput& input)
{
    if (!session.hasContext) return kTlsFailed;
    for (;;) {
        SecBuffer received[2] = {{(ULONG)PendingTlsBytes(input), SECBUFFER_TOKEN, FirstPendingByte(input)},
                                 {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc receivedDesc = {SECBUFFER_VERSION, 2, received};
        SecBuffer token = {0, SECBUFFER_TOKEN, nullptr};
        SECURITY_STATUS status = NextHandshakeToken(session, &receivedDesc, token);
        // On a failure the token is the alert that tells the server why.
        bool sent = SendToken(connection, token);
        if (status == SEC_E_INCOMPLETE_MESSAGE) return kTlsNeedMore;
        if ((status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) || !sent) return kTlsFailed;
        KeepUnprocessed(input, received[1].BufferType == SECBUFFER_EXTRA ? received[1].cbBuffer : 0);
        if (status == SEC_E_OK) {
            if (QueryContextAttributesA(&session.context, SECPKG_ATTR_STREAM_SIZES, &session.sizes) != SEC_E_OK)
                return kTlsFailed;
            session.established = true;
            return kTlsHandshakeDone;
        }
        if (PendingTlsBytes(input) == 0) return kTlsNeedMore;
    }
}

int32_t DecryptTlsRecord(TlsSession& session, TlsInput& input, DecryptedRecord& record)
{
    const size_t pending = PendingTlsBytes(input);
    record.start = FirstPendingByte(input);
    record.length = 0;
    record.plain = nullptr;
    record.plainLength = 0;
    if (pending == 0) return kTlsNeedMore;
    const bool alert = FirstRecordType(input) == kTlsAlertRecord;
    SecBuffer buffers[4] = {{(ULONG)pending, SECBUFFER_DATA, record.start},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status = DecryptMessage(&session.context, &desc, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) return kTlsNeedMore;
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) return kTlsFailed;

    size_t extra = 0;
    for (SecBuffer& buffer : buffers) {
        if (buffer.BufferType == SECBUFFER_DATA) {
            record.plain = (char*)buffer.pvBuffer;
            record.plainLength = buffer.cbBuffer;
        } else if (buffer.BufferType == SECBUFFER_EXTRA) {
            extra = buffer.cbBuffer;
        }
    }
    KeepUnprocessed(input, extra);
    record.length = extra < pending ? pending - extra : pending;
    // Some Schannel implementations report the peer's close_notify as an
    // empty record rather than SEC_I_CONTEXT_EXPIRED; the record's type tells.
    if (status == SEC_I_CONTEXT_EXPIRED || (alert && record.plainLength == 0)) return kTlsPeerClosed;
    if (status == SEC_I_RENEGOTIATE) return kTlsRenegotiate;
    return kTlsRecordData;
}

int32_t SendTlsData(TlsSession& session, SocketConnection& connection, const char* data, size_t length)
{
    const size_t header = session.sizes.cbHeader;
    const size_t trailer = session.sizes.cbTrailer;
    if (!session.established || header + trailer >= sizeof session.record) return 1;
    size_t most = sizeof session.record - header - trailer;
    if (most > session.sizes.cbMaximumMessage) most = session.sizes.cbMaximumMessage;
    while (length > 0) {
        const size_t piece = length < most ? length : most;
        memcpy(session.record + header, data, piece);
        SecBuffer buffers[4] = {{(ULONG)header, SECBUFFER_STREAM_HEADER, session.record},
                                {(ULONG)piece, SECBUFFER_DATA, session.record + header},
                                {(ULONG)trailer, SECBUFFER_STREAM_TRAILER, session.record + header + piece},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
        if (EncryptMessage(&session.context, 0, &desc, 0) != SEC_E_OK) return 1;
        // The trailer may come out shorter than announced; the parts stay contiguous.
        const uint32_t total = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
        if (connection.Send(session.record, total) != 0) return 1;
        data += piece;
        length -= piece;
    }
    return 0;
}

void CloseTlsSession(TlsSession& session, SocketConnection& connection)
{
    if (!session.established || session.closeNotifySent) return;
    session.closeNotifySent = true;
    DWORD shutdown = SCHANNEL_SHUTDOWN;
    SecBuffer control = {sizeof shutdown, SECBUFFER_TOKEN, &shutdown};
    SecBufferDesc controlDesc = {SECBUFFER_VERSION, 1, &control};
    if (ApplyControlToken(&session.context, &controlDesc) != SEC_E_OK) return;
    SecBuffer token = {0, SECBUFFER_TOKEN, nullptr};
    SECURITY_STATUS status = NextHandshakeToken(session, nullptr, token);
    if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED) {
        SendToken(connection, token);
    } else if (token.pvBuffer != nullptr) {
        FreeContextBuffer(token.pvBuffer);
    }
}

void EndTlsSession(TlsSession& session)
{
    if (session.hasContext) DeleteSecurityContext(&session.context);
    if (session.hasCredentials) FreeCredentialsHandle(&session.credentials);
    InitTlsSession(session);
}

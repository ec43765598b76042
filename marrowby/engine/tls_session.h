// One TLS client session over Schannel (SSPI): credentials, the handshake
// with the host name for SNI, record encryption and decryption, and the
// closing close_notify. It sits between the socket connection and the job:
// the job hands it the received bytes (TlsInput) and gets plain bytes back.
#pragma once

#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif

#include <stdint.h>
#include <winsock2.h>
#include <windows.h>
#include <security.h>

#include "marrowby/engine/socket_connection.h"
#include "marrowby/engine/tls_input.h"
#include "marrowby/engine/url.h"

// Room for one outgoing record of the request: header, data and trailer.
const size_t kTlsSendRecordCapacity = 8192;

struct TlsSession {
    CredHandle credentials;
    CtxtHandle context;
    bool hasCredentials;
    bool hasContext;
    bool established;  // a handshake has completed: records can flow
    bool closeNotifySent;
    SecPkgContext_StreamSizes sizes;
    char host[kUrlHostMax + 1];  // for SNI and the certificate's name
    char record[kTlsSendRecordCapacity];
};

// Results of the handshake and record steps.
enum TlsStep {
    kTlsNeedMore = 0,  // wait for more received bytes
    kTlsHandshakeDone = 1,
    kTlsRecordData = 2,   // one record decrypted (its data may be empty)
    kTlsPeerClosed = 3,   // the server sent close_notify
    kTlsRenegotiate = 4,  // the server wants a new handshake (or sent a post-handshake message)
    kTlsFailed = 5,
};

// Empty session; no handles held.
void InitTlsSession(TlsSession& session);

// Acquires credentials (TLS 1.2 at least, 1.3 where the system has it) and
// sends the ClientHello for host. kTlsNeedMore or kTlsFailed.
int32_t StartTlsHandshake(TlsSession& session, SocketConnection& connection, const char* host);

// Feeds the pending received bytes to the handshake, sending what it
// answers. kTlsNeedMore, kTlsHandshakeDone or kTlsFailed. Used for the first
// handshake and again after kTlsRenegotiate.
int32_t ContinueTlsHandshake(TlsSession& session, SocketConnection& connection, TlsInput& input);

// Decrypts the first pending record in place. With kTlsRecordData, record
// tells where it lay and where its data is.
int32_t DecryptTlsRecord(TlsSession& session, TlsInput& input, DecryptedRecord& record);

// Encrypts data into records and sends them. 0, or 1 on failure.
int32_t SendTlsData(TlsSession& session, SocketConnection& connection, const char* data, size_t length);

// Sends close_notify once, when a handshake has completed.
void CloseTlsSession(TlsSession& session, SocketConnection& connection);

// Releases the context and credentials.
void EndTlsSession(TlsSession& session);

// Verifies the server's certificate of an established session against the
// system's trusted roots and the session's host name. Returns JobFailureNone
// or the JobFailure that says what is wrong (tls_certificate.cpp).
int32_t CheckServerCertificate(TlsSession& session);

#include "marrowby/engine/job_failure.h"

#include <string.h>

namespace {

struct FailureDescription {
    int32_t failure;
    const char* name;
    const char* text;
};

const FailureDescription kDescriptions[] = {
    {JobFailureNone, "none", "no failure"},
    {JobFailureNetwork, "network", "the connection could not be made or was broken"},
    {JobFailureHostNotFound, "host-not-found", "the host name could not be resolved"},
    {JobFailureHttpStatus, "http-status", "the server answered with an error status"},
    {JobFailureRedirects, "too-many-redirects", "the server redirected too many times"},
    {JobFailureLogin, "login-refused", "the server asked for a login that could not be given"},
    {JobFailureRequest, "request", "the request could not be composed or sent"},
    {JobFailureProxyTunnel, "proxy-tunnel", "the proxy refused to open a tunnel to the server"},
    {JobFailureTlsHandshake, "tls-handshake", "the secure connection could not be set up"},
    {JobFailureCertificateUntrusted, "certificate-untrusted",
     "the server's certificate is not issued by a trusted authority"},
    {JobFailureCertificateName, "certificate-name", "the server's certificate is for another host name"},
    {JobFailureCertificateExpired, "certificate-expired", "the server's certificate has expired or is not yet valid"},
    {JobFailureCertificateInvalid, "certificate-invalid", "the server's certificate is not valid for this connection"},
    {JobFailureTlsTruncated, "tls-truncated",
     "the secure connection ended without its closing message, so the data may be cut"},
    {JobFailureTlsData, "tls-data", "data on the secure connection could not be decrypted"},
    {JobFailureUrl, "url", "the address is not an http or https URL"},
    {JobFailureBadResponse, "bad-response", "the server's answer is malformed or cannot be decoded"},
    {JobFailureNoResponse, "no-response", "the connection ended before the server's answer"},
    {JobFailureBodyCut, "body-cut", "the connection ended before the last chunk of the body"},
    {JobFailureBadRange, "bad-range", "the server sent part of the file without saying which part"},
    {JobFailureFileWrite, "file-write", "the local file could not be opened or written"},
    {JobFailureTimedOut, "timed-out", "the server stayed silent past the time-out"},
    {JobFailureShortBody, "short-body", "the connection ended before the promised size arrived"},
    {JobFailureChecksum, "checksum", "the file does not have the expected checksum"},
    {JobFailureSizeMismatch, "size-mismatch", "more bytes arrived than the server promised"},
    {JobFailureFileChanged, "file-changed", "the server's file changed while its parts were being fetched"},
};

const FailureDescription& Describe(int32_t failure)
{
    for (const FailureDescription& description : kDescriptions) {
        if (description.failure == failure) return description;
    }
    static const FailureDescription unknown = {-1, "unknown", "unknown failure"};
    return unknown;
}

}  // namespace

const char* JobFailureName(int32_t failure)
{
    return Describe(failure).name;
}

const char* JobFailureText(int32_t failure)
{
    return Describe(failure).text;
}

int32_t JobFailureOfName(const char* name)
{
    if (name == nullptr) return JobFailureNone;
    for (const FailureDescription& description : kDescriptions) {
        if (strcmp(description.name, name) == 0) return description.failure;
    }
    return JobFailureNone;
}

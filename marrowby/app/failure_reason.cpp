#include "marrowby/app/failure_reason.h"

#include <stdio.h>
#include <string.h>

#include "marrowby/engine/decimal.h"
#include "marrowby/engine/job_failure.h"
#include "marrowby/resources/resource.h"

namespace {

// System error codes of a file that cannot be written, by their Win32
// values: this file is built without the Windows headers.
constexpr int32_t kErrorPathNotFound = 3;
constexpr int32_t kErrorAccessDenied = 5;
constexpr int32_t kErrorWriteProtect = 19;
constexpr int32_t kErrorSharingViolation = 32;
constexpr int32_t kErrorLockViolation = 33;
constexpr int32_t kErrorHandleDiskFull = 39;
constexpr int32_t kErrorDiskFull = 112;
constexpr int32_t kErrorFileReadOnly = 6009;

struct StatusPhrase {
    int32_t status;
    const char* phrase;
};

const StatusPhrase kPhrases[] = {
    {206, "Partial Content"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {303, "See Other"},
    {304, "Not Modified"},
    {305, "Use Proxy"},
    {307, "Temporary Redirect"},
    {308, "Permanent Redirect"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Precondition Failed"},
    {413, "Content Too Large"},
    {414, "URI Too Long"},
    {415, "Unsupported Media Type"},
    {416, "Range Not Satisfiable"},
    {417, "Expectation Failed"},
    {421, "Misdirected Request"},
    {422, "Unprocessable Content"},
    {425, "Too Early"},
    {426, "Upgrade Required"},
    {428, "Precondition Required"},
    {429, "Too Many Requests"},
    {431, "Request Header Fields Too Large"},
    {451, "Unavailable For Legal Reasons"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
    {505, "HTTP Version Not Supported"},
    {507, "Insufficient Storage"},
    {511, "Network Authentication Required"},
};

int FileReasonOfError(int32_t error)
{
    switch (error) {
    case kErrorDiskFull:
    case kErrorHandleDiskFull: return IDS_REASON_DISK_FULL;
    case kErrorAccessDenied:
    case kErrorWriteProtect:
    case kErrorFileReadOnly: return IDS_REASON_READ_ONLY;
    case kErrorSharingViolation:
    case kErrorLockViolation: return IDS_REASON_FILE_IN_USE;
    case kErrorPathNotFound: return IDS_REASON_NO_FOLDER;
    default: return IDS_REASON_FILE;
    }
}

int ReasonTextOf(int32_t failure)
{
    switch (failure) {
    case JobFailureNetwork: return IDS_REASON_CONNECT;
    case JobFailureHostNotFound: return IDS_REASON_HOST_NOT_FOUND;
    case JobFailureHttpStatus: return IDS_REASON_HTTP_STATUS;
    case JobFailureRedirects: return IDS_REASON_REDIRECTS;
    case JobFailureLogin: return IDS_REASON_LOGIN;
    case JobFailureRequest: return IDS_REASON_REQUEST;
    case JobFailureProxyTunnel: return IDS_REASON_PROXY;
    case JobFailureTlsHandshake: return IDS_REASON_TLS;
    case JobFailureCertificateUntrusted: return IDS_REASON_CERT_UNTRUSTED;
    case JobFailureCertificateName: return IDS_REASON_CERT_NAME;
    case JobFailureCertificateExpired: return IDS_REASON_CERT_EXPIRED;
    case JobFailureCertificateInvalid: return IDS_REASON_CERT_INVALID;
    case JobFailureTlsTruncated:
    case JobFailureBodyCut: return IDS_REASON_CUT;
    case JobFailureTlsData: return IDS_REASON_TLS_DATA;
    case JobFailureUrl: return IDS_REASON_URL;
    case JobFailureBadResponse: return IDS_REASON_BAD_RESPONSE;
    case JobFailureNoResponse: return IDS_REASON_NO_RESPONSE;
    case JobFailureBadRange: return IDS_REASON_BAD_RANGE;
    case JobFailureFileWrite: return IDS_REASON_FILE;
    case JobFailureTimedOut: return IDS_REASON_TIMED_OUT;
    case JobFailureShortBody: return IDS_REASON_SHORT_BODY;
    case JobFailureChecksum: return IDS_REASON_CHECKSUM;
    case JobFailureSizeMismatch: return IDS_REASON_SIZE;
    case JobFailureFileChanged: return IDS_REASON_FILE_CHANGED;
    default: return IDS_REASON_UNKNOWN;
    }
}

}  // namespace

const char* HttpReasonPhrase(int32_t status)
{
    for (const StatusPhrase& entry : kPhrases) {
        if (entry.status == status) return entry.phrase;
    }
    return "";
}

FailureReason ReasonOfFailure(int32_t failure, int32_t detail)
{
    FailureReason reason = {ReasonTextOf(failure), 0, ""};
    // A status the job did not record (an older list) says only "server error".
    if (failure == JobFailureHttpStatus && detail > 0) {
        reason.httpStatus = detail;
        reason.phrase = HttpReasonPhrase(detail);
    } else if (failure == JobFailureHttpStatus) {
        reason.textId = IDS_REASON_BAD_RESPONSE;
    }
    if (failure == JobFailureFileWrite) reason.textId = FileReasonOfError(detail);
    if (failure == JobFailureLogin && detail == kLoginNotGiven) reason.textId = IDS_REASON_LOGIN_NEEDED;
    return reason;
}

void FormatStoredFailure(int32_t failure, int32_t detail, char* out, size_t capacity)
{
    if (capacity == 0) return;
    if (failure == JobFailureNone) {
        out[0] = '\0';
        return;
    }
    if (detail != 0) {
        snprintf(out, capacity, "%s %ld", JobFailureName(failure), static_cast<long>(detail));
    } else {
        snprintf(out, capacity, "%s", JobFailureName(failure));
    }
}

bool ParseStoredFailure(const char* text, int32_t* failure, int32_t* detail)
{
    *failure = JobFailureNone;
    *detail = 0;
    if (text == nullptr) return false;
    char name[32];
    size_t length = strcspn(text, " \r\n");
    if (length == 0 || length >= sizeof(name)) return false;
    memcpy(name, text, length);
    name[length] = '\0';
    int32_t found = JobFailureOfName(name);
    if (found == JobFailureNone) return false;
    *failure = found;
    if (text[length] == ' ') *detail = ParseDecimal(text + length + 1);
    return true;
}

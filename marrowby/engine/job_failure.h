// Why a download job ended with JobFailed, for whoever shows it.
#pragma once

#include <cstdint>

enum JobFailure : int32_t {
    JobFailureNone = 0,
    JobFailureNetwork = 1,  // the connection could not be made or broke
    JobFailureHostNotFound = 2,
    JobFailureHttpStatus = 3,   // the server answered 400 to 505
    JobFailureRedirects = 4,    // too many redirects
    JobFailureLogin = 5,        // a 401 with no login to answer, or refusing it
    JobFailureRequest = 6,      // the request could not be composed or sent
    JobFailureProxyTunnel = 7,  // the proxy did not open a tunnel
    JobFailureTlsHandshake = 8,
    JobFailureCertificateUntrusted = 9,
    JobFailureCertificateName = 10,  // the certificate is for another host
    JobFailureCertificateExpired = 11,
    JobFailureCertificateInvalid = 12,  // any other certificate fault
    JobFailureTlsTruncated = 13,        // closed without close_notify, body size unknown
    JobFailureTlsData = 14,             // a record that could not be decrypted
    JobFailureUrl = 15,                 // Start was given no http or https URL
    JobFailureBadResponse = 16,         // a malformed status line, header or chunk framing
    JobFailureNoResponse = 17,          // the connection ended before a final answer
    JobFailureBodyCut = 18,             // the connection ended inside a chunked body
    JobFailureBadRange = 19,            // a 206 that does not say which part it holds
    JobFailureFileWrite = 20,           // the local file could not be opened or written
    // Found by the application rather than the job.
    JobFailureTimedOut = 21,      // the server stayed silent past the idle time-out
    JobFailureShortBody = 22,     // the connection ended before the promised size
    JobFailureChecksum = 23,      // the finished file does not have the expected checksum
    JobFailureSizeMismatch = 24,  // more bytes arrived than the server promised
    // Found by the job again.
    JobFailureFileChanged = 25,  // the server's file changed between the segments of a download
};

// The detail of JobFailureLogin when no login was there to answer with (a
// login the server refused has detail 0).
constexpr int32_t kLoginNotGiven = 1;

// A short keyword ("certificate-untrusted") and a sentence saying why.
const char* JobFailureName(int32_t failure);
const char* JobFailureText(int32_t failure);
// The failure a keyword names; JobFailureNone for an unknown one.
int32_t JobFailureOfName(const char* name);

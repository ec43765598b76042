// The job's operations, all called on the application's thread.
#include "marrowby/engine/download_job.h"

#include <string.h>

#include "common/bounded_text.h"
#include "marrowby/engine/code_page_text.h"
#include "marrowby/engine/file_name_claims.h"
#include "marrowby/engine/lock_scope.h"
#include "marrowby/engine/path_helpers.h"
#include "marrowby/engine/segment_files.h"
#include "common/safe_file_name.h"
#include "marrowby/engine/url.h"

namespace {

const size_t kFolderTextMax = 260;

}  // namespace

DownloadJob::DownloadJob()
    : file_(INVALID_HANDLE_VALUE),
      timeoutMs_(0),
      redirects_(0),
      sentCredentials_(false),
      requestScheme_(kSchemeOther),
      requestPort_(0),
      ended_(false),
      timedOut_(false),
      failure_(JobFailureNone),
      failureDetail_(0),
      linkPhase_(kLinkPlain),
      requestSent_(false),
      ownCrew_(nullptr),
      crew_(nullptr),
      primary_(this),
      connectionId_(0),
      connectionsWanted_(1),
      segmented_(false),
      segmentFinished_(false),
      retired_(false),
      mergePending_(false),
      loneRetries_(0),
      holdsConnection_(0),
      stopping_(0)
{
    resumeText_[0] = '\0';
    memset(&exchange_, 0, sizeof exchange_);
    ResetExchange(exchange_);
    folder_[0] = '\0';
    registration_.callback = nullptr;
    registration_.userValue = nullptr;
    request_[0] = '\0';
    ownName_[0] = '\0';
    requestHost_[0] = '\0';
    ResetTunnelAnswer(tunnelAnswer_);
    ResetTlsInput(tlsInput_, tlsBuffer_, kJobTlsBufferSize);
    InitTlsSession(tls_);
    InitializeCriticalSection(&lock_);
}

DownloadJob::~DownloadJob()
{
    Stop();
    DeleteCriticalSection(&lock_);
    connection_.StopWorker();
    // The worker has ended: nothing uses the session any more.
    EndTlsSession(tls_);
    if (ownCrew_ != nullptr) {
        DeleteCriticalSection(&ownCrew_->lock);
        delete ownCrew_;
    }
}

int DownloadJob::Prepare(const JobCallbackRegistration* registration)
{
    Stop();
    {
        LockScope hold(lock_);
        ResetExchange(exchange_);
        if (registration != nullptr) registration_ = *registration;
        if (registration_.callback == nullptr) return 2;
    }
    ReceiveBuffer buffer = {receiveBuffer_, kJobReceiveBufferSize};
    if (connection_.StartWorker(this, &buffer, 1, kJobWaitMs, &registration_) != 0) return 3;
    return 0;
}

int DownloadJob::SetProxy(const char* text, uint16_t defaultPort)
{
    LockScope hold(lock_);
    exchange_.proxyPort = defaultPort;
    exchange_.proxyUser[0] = '\0';
    exchange_.proxyPassword[0] = '\0';
    if (text == nullptr) {
        exchange_.proxyHost[0] = '\0';
        return 0;
    }
    // A login in front of the host, as in a URL; the last at sign ends it.
    const char* at = strrchr(text, '@');
    if (at != nullptr) {
        const char* colon = (const char*)memchr(text, ':', (size_t)(at - text));
        const char* userEnd = colon != nullptr ? colon : at;
        mw_text::CopyN(exchange_.proxyUser, text, (size_t)(userEnd - text));
        if (colon != nullptr) mw_text::CopyN(exchange_.proxyPassword, colon + 1, (size_t)(at - colon - 1));
        text = at + 1;
    }
    // A malformed bracketed address stays as written: it names no host, so
    // connecting fails on it instead of bypassing the proxy.
    if (SplitHostPort(text, exchange_.proxyHost, sizeof exchange_.proxyHost, exchange_.proxyPort) != 0)
        mw_text::Copy(exchange_.proxyHost, text);
    return 0;
}

int DownloadJob::SetCredentials(const char* user, const char* password)
{
    LockScope hold(lock_);
    mw_text::Copy(exchange_.user, user);
    mw_text::Copy(exchange_.password, password);
    return 0;
}

int DownloadJob::SetReferer(const char* text)
{
    LockScope hold(lock_);
    mw_text::Copy(exchange_.referer, text);
    return 0;
}

int DownloadJob::SetUserAgent(const char* text)
{
    LockScope hold(lock_);
    mw_text::Copy(exchange_.userAgent, text);
    return 0;
}

// The size of the download's own file, or -1 when it cannot be read.
// Opening creates the file empty when it is missing.
int64_t DownloadJob::OwnFileSize()
{
    char path[kJobFolderCapacity + kLocalFileNameMax + 1];
    mw_text::Copy(path, folder_);
    mw_text::Append(path, sizeof path, ownName_);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    LARGE_INTEGER size;
    bool known = GetFileSizeEx(file, &size) != 0;
    CloseHandle(file);
    return known ? (int64_t)size.QuadPart : -1;
}

int DownloadJob::SetValidators(const char* entityTag, int32_t lastModified)
{
    LockScope hold(lock_);
    mw_text::Copy(expectedTag_, entityTag);
    expectedModified_ = lastModified;
    return 0;
}

int DownloadJob::Start(const char* url, int64_t offset, const char* folder, const char* lastName, uint32_t timeoutMs)
{
    ConnectTarget target;
    {
        LockScope hold(lock_);
        failure_ = JobFailureUrl;
        folder_[0] = '\0';
        if (folder != nullptr) {
            mw_text::CopyN(folder_, folder, kFolderTextMax);
            if (folder_[0] != '\0') AppendFolderSeparator(folder_, sizeof folder_);
        }
        // The name comes back from the application's list file: it is made
        // safe the same way as a name the server sends before it is joined
        // to folder. A resume offset is only trusted when that file holds at
        // least that many bytes.
        ownName_[0] = '\0';
        ownSize_ = -1;
        if (lastName != nullptr && lastName[0] != '\0') {
            SafeLocalFileName(lastName, ownName_, sizeof ownName_);
            ownSize_ = OwnFileSize();
            // Over one connection an earlier run's segments are given up;
            // the named file beside their side file holds a good prefix.
            if (connectionsWanted_ < 2 && ownSize_ >= 0 && DiscardSegmentFiles(folder_, ownName_) && offset > ownSize_)
                offset = ownSize_;
            if (ownSize_ < 0 || ownSize_ < offset) offset = 0;
            HoldFileName(registration_.userValue, folder_, ownName_);
        }

        // Only http and https URLs are fetched: anything else would send an
        // HTTP request to whatever port the other scheme names. Typed text
        // is in the program's code page; what goes on the wire is UTF-8.
        ResetUrl(exchange_.url);
        char wireUrl[2 * kUrlWorkMax + 1];
        // A fragment is the page's business, never the server's.
        if (url == nullptr || !ProgramCodePageToUtf8(url, wireUrl, sizeof wireUrl)) return 1;
        wireUrl[strcspn(wireUrl, "#")] = '\0';
        if (ParseUrl(wireUrl, nullptr, exchange_.url) != 0 || !IsDownloadableScheme(exchange_.url.scheme)) return 1;
        exchange_.method = kMethodGet;
        exchange_.version = kHttpVersion10;
        exchange_.bodyLength = 0;
        exchange_.rangeStart = offset;
        exchange_.rangeLength = 0;
        ResetSegments();
        ResumeSegments(offset);
        TakeUrlFileName(exchange_);
        if (exchange_.url.user[0] != '\0' && exchange_.url.password[0] != '\0') {
            mw_text::Copy(exchange_.user, exchange_.url.user);
            mw_text::Copy(exchange_.password, exchange_.url.password);
        }
        target = ComputeTarget(exchange_);
        timeoutMs_ = timeoutMs;
        restarted_ = false;
        ResetRunState();
    }
    if (InterlockedExchange(&holdsConnection_, 1) == 0) TakeConnection();
    // Every segment was written: the worker's first tick merges the files.
    if (mergePending_ != 0) return 0;
    int connected = connection_.Connect(target.host, target.port, timeoutMs);
    // A host that is not found has been reported as such already.
    if (connected != 0 && connected != 2) failure_ = JobFailureNetwork;
    return connected == 0 ? 0 : 1;
}

// What one run learns about its connection and its end, cleared for the next.
void DownloadJob::ResetRunState()
{
    redirects_ = 0;
    sentCredentials_ = false;
    requestScheme_ = kSchemeOther;
    requestHost_[0] = '\0';
    requestPort_ = 0;
    ended_ = false;
    timedOut_ = false;
    failure_ = JobFailureNone;
    failureDetail_ = 0;
    ResetLink();
}

int DownloadJob::Stop()
{
    InterlockedExchange(&stopping_, 1);
    connection_.StopWorker();
    StopHelpers();
    KeepStateFile();
    if (primary_ == this && InterlockedExchange(&holdsConnection_, 0) != 0) GiveConnectionBack();
    LockScope hold(lock_);
    CloseFile();
    timeoutMs_ = 0;
    folder_[0] = '\0';
    registration_.callback = nullptr;
    registration_.userValue = nullptr;
    return 0;
}

// Segmented downloads: the first job of a download plans the segments once
// the server has named the size and taken ranges, and starts further jobs
// beside it; the head segment goes into the named file, every other one at
// its offsets into the side file, and a connection that finishes takes over
// abandoned or split work. The last connection out merges the two files.
// Every connection shares the speed limits. Runs on the jobs' worker
// threads unless noted.
#include <new>

#include <string.h>

#include "common/bounded_text.h"
#include "marrowby/engine/decimal.h"
#include "marrowby/engine/download_job.h"
#include "marrowby/engine/lock_scope.h"
#include "marrowby/engine/response.h"
#include "marrowby/engine/segment_files.h"

// After windows.h, which it needs.
#include <winioctl.h>

namespace {

const size_t kStateFileMax = kSegmentPlanTextMax + 64;
// Waits for the speed limit are cut into slices this long, so a stop or a
// new rate is seen at once.
const uint32_t kPaceSliceMs = 50;
// The first connection asks again after a refusal this often, this long
// apart: the server may still count a connection that just closed.
const int32_t kLoneRetries = 5;
const uint32_t kLoneRetryPauseMs = 1000;
// The state file is written at most this often while data arrives.
const uint32_t kStateIntervalMs = 500;

bool IsEndCode(int32_t code)
{
    return code == JobClosed || code == JobFailed || code == JobTimedOut || code == JobFileError;
}

}  // namespace

// Application thread.
int DownloadJob::SetSegments(int32_t connections)
{
    if (connections < 1) connections = 1;
    if (connections > kMaxConnectionsPerItem) connections = kMaxConnectionsPerItem;
    connectionsWanted_ = connections;
    return 0;
}

int DownloadJob::SetSegmentPlan(const char* text)
{
    mw_text::Copy(resumeText_, text != nullptr ? text : "");
    return 0;
}

void DownloadJob::SetSpeedLimit(int64_t bytesPerSecond)
{
    itemLimit_.SetRate(bytesPerSecond);
}

bool DownloadJob::SegmentPlanText(char* out, size_t capacity)
{
    if (capacity > 0) out[0] = '\0';
    if (crew_ == nullptr) return false;
    LockScope hold(crew_->lock);
    return crew_->planned && FormatSegmentPlan(crew_->plan, out, capacity);
}

// Start, on the application's thread: a fresh crew for the run.
void DownloadJob::ResetSegments()
{
    segmented_ = false;
    segmentFinished_ = false;
    retired_ = false;
    InterlockedExchange(&mergePending_, 0);
    loneRetries_ = 0;
    InterlockedExchange(&stopping_, 0);
    crew_ = nullptr;
    if (connectionsWanted_ < 2) return;
    if (ownCrew_ == nullptr) {
        ownCrew_ = new (std::nothrow) SegmentCrew;
        if (ownCrew_ == nullptr) return;
        InitializeCriticalSection(&ownCrew_->lock);
    }
    crew_ = ownCrew_;
    crew_->plan.count = 0;
    crew_->plan.total = 0;
    crew_->planned = false;
    crew_->accepted = false;
    crew_->finalReported = false;
    crew_->stateDirty = false;
    crew_->merged = false;
    crew_->stopKept = false;
    crew_->stateTick = GetTickCount();
    crew_->active = 0;
    crew_->helperCount = 0;
}

// Start, with the job's lock held: the segments of an earlier run go on
// where each stopped, as far as the files still hold them. A run whose
// segments were all written only merges the files. Returns the position of
// the first request.
int64_t DownloadJob::ResumeSegments(int64_t offset)
{
    if (crew_ == nullptr || ownName_[0] == '\0' || ownSize_ < 0) return offset;
    SegmentPlan& plan = crew_->plan;
    if (!TrustStoredPlan(plan)) {
        plan.count = 0;
        return offset;
    }
    if (AllSegmentsDone(plan)) {
        crew_->planned = true;
        segmented_ = true;
        InterlockedExchange(&mergePending_, 1);
        return offset;
    }
    int64_t first = 0;
    int64_t end = 0;
    if (!TakeSegmentWork(plan, connectionId_, first, end)) return offset;
    crew_->planned = true;
    segmented_ = true;
    exchange_.rangeStart = first;
    exchange_.rangeLength = end - first;
    return first;
}

// The state file beside the file (newer than any list), else the list's
// text when the side file tells the total, measured against the files: the
// head counts no more than the named file holds, the other segments
// nothing without the side file. Bytes of the named file behind the head's
// count are cut off, so a later merge never appends behind them.
bool DownloadJob::TrustStoredPlan(SegmentPlan& plan)
{
    char side[kSegmentPathCapacity];
    SegmentPath(side, sizeof side, kSideFileSuffix);
    const int64_t sideSize = FileSizeAt(side);
    bool found = ReadStateFile(plan) && ownSize_ <= plan.total;
    if (!found && sideSize > 0) found = ParseSegmentPlan(resumeText_, sideSize, plan) && ownSize_ <= sideSize;
    if (!found) return false;
    // Killed after the merge made the named file whole.
    if (AllSegmentsDone(plan) && ownSize_ == plan.total) return true;
    TrustSegmentBytes(plan, ownSize_, sideSize == plan.total);
    const int64_t headBytes = plan.segments[0].written;
    if (AllSegmentsDone(plan) || ownSize_ <= headBytes) return true;
    char named[kSegmentPathCapacity];
    SegmentPath(named, sizeof named, "");
    if (!CutFileAt(named, headBytes)) return false;
    ownSize_ = headBytes;
    return true;
}

// A connection that works for a download whose response the application
// already has: its answers must be the segment it asked for.
bool DownloadJob::JoinsPlan() const
{
    return segmented_ && crew_ != nullptr && crew_->accepted;
}

// The first response of the run: a known size and ranges make segments.
// summary is what the application will be told: the bytes already present.
bool DownloadJob::PlanOnAccept(ResponseSummary& summary)
{
    if (crew_ == nullptr) return false;
    const int32_t status = exchange_.response.status;
    LockScope hold(crew_->lock);
    SegmentPlan& plan = crew_->plan;
    if (!(crew_->planned && status == 206)) {
        // A resume answered with the whole file starts the plan afresh.
        crew_->planned = false;
        segmented_ = false;
        int64_t total = summary.totalSize;
        bool ranges = status == 206 || exchange_.response.acceptsRanges != 0;
        if (total <= 0 || !ranges || exchange_.chunked != 0) return false;
        int64_t from = status == 206 ? summary.rangeFirst : 0;
        if (SegmentCountFor(total - from, connectionsWanted_) < 2) return false;
        PlanSegments(plan, total, from, connectionsWanted_);
        int64_t end = 0;
        if (!TakeSegmentAt(plan, connectionId_, from, end)) return false;
        crew_->planned = true;
        segmented_ = true;
    }
    crew_->accepted = true;
    crew_->active = 1;
    crew_->stateDirty = true;
    // The state file is written with the first data: it then has its room
    // on the disk before the segments can fill it.
    crew_->stateTick = GetTickCount() - kStateIntervalMs;
    // Later segments must come from the same file as this answer.
    mw_text::Copy(expectedTag_, summary.entityTag);
    expectedModified_ = summary.lastModified;
    summary.rangeFirst = WrittenBytes(plan);
    return true;
}

// The first job starts further jobs as the missing bytes call for: each
// takes a segment nobody fetches, else half of the largest rest, as far as
// the connections allowed for all downloads reach.
void DownloadJob::LaunchHelpers()
{
    int32_t connections;
    {
        LockScope hold(crew_->lock);
        connections = ConnectionsForPlan(crew_->plan, connectionsWanted_);
    }
    for (int32_t connection = 1; connection < connections; ++connection) {
        int64_t first = 0;
        int64_t end = 0;
        {
            LockScope hold(crew_->lock);
            if (!TakeSegmentWork(crew_->plan, connection, first, end)) return;
        }
        const bool counted = TryTakeConnection();
        DownloadJob* helper = counted ? new (std::nothrow) DownloadJob : nullptr;
        if (helper == nullptr) {
            LockScope hold(crew_->lock);
            ReleaseSegment(crew_->plan, connection);
            if (counted) GiveConnectionBack();
            return;
        }
        {
            LockScope hold(crew_->lock);
            crew_->helpers[crew_->helperCount++] = helper;
            ++crew_->active;
        }
        InterlockedExchange(&helper->holdsConnection_, 1);
        if (helper->StartHelper(*this, connection, first, end) != 0) helper->EndConnection(JobFailed);
    }
}

// A job beside the first: the same final address, login, proxy and
// validators, its own connection and range.
int DownloadJob::StartHelper(DownloadJob& primary, int32_t connection, int64_t first, int64_t end)
{
    crew_ = primary.crew_;
    primary_ = &primary;
    connectionId_ = connection;
    segmented_ = true;
    if (Prepare(&primary.registration_) != 0) return 1;
    InterlockedExchange(&stopping_, 0);
    ConnectTarget target;
    {
        LockScope hold(lock_);
        exchange_ = primary.exchange_;
        ResetResponse(exchange_);
        exchange_.rangeStart = first;
        exchange_.rangeLength = end - first;
        mw_text::Copy(folder_, primary.folder_);
        mw_text::Copy(ownName_, primary.ownName_);
        mw_text::Copy(expectedTag_, primary.expectedTag_);
        expectedModified_ = primary.expectedModified_;
        ownSize_ = primary.ownSize_;
        timeoutMs_ = primary.timeoutMs_;
        restarted_ = true;  // a segment is never fetched again from byte 0
        ResetRunState();
        target = ComputeTarget(exchange_);
    }
    return connection_.Connect(target.host, target.port, timeoutMs_) == 0 ? 0 : 1;
}

// The head of an answer on a connection that joins the plan. Anything but
// the asked range of the same file ends this connection only; the others go
// on, and whoever finishes first takes its segment over.
int32_t DownloadJob::CheckSegmentAnswer(int32_t status, char* data, size_t offset, size_t count)
{
    if (status != 206 || !RangeIsUsable()) return RetryRefused() ? Reconnect() : FailTransfer(JobFailureHttpStatus);
    if (ServerFileChanged()) return FailTransfer(JobFailureFileChanged);
    loneRetries_ = 0;
    int32_t accepted = AcceptResponse(data + offset, count);
    if (accepted == kPostNextReceive && BodyEnded()) return EndTransfer(JobClosed);
    return accepted;
}

// The first connection has shown that the server serves this client: when
// it is refused a later segment it waits a moment and asks again, a few
// times. The others give their segments up at once, so a server that
// allows one connection is not asked over and over by all of them.
bool DownloadJob::RetryRefused()
{
    if (!JoinsPlan() || primary_ != this || loneRetries_ >= kLoneRetries) return false;
    ++loneRetries_;
    for (uint32_t waited = 0; waited < kLoneRetryPauseMs && stopping_ == 0; waited += kPaceSliceMs) Sleep(kPaceSliceMs);
    return stopping_ == 0;
}

bool DownloadJob::WriteSegmentBody(const char* data, size_t count)
{
    int64_t allowed;
    {
        LockScope hold(crew_->lock);
        allowed = ClaimSegmentBytes(crew_->plan, connectionId_, (int64_t)count);
    }
    DWORD written = 0;
    if (allowed > 0 && (file_ == INVALID_HANDLE_VALUE || !WriteFile(file_, data, (DWORD)allowed, &written, nullptr)))
        return false;
    if (written != (DWORD)allowed) {
        SetLastError(ERROR_DISK_FULL);  // a short write without an error is a full disk
        return false;
    }
    bool stateDue;
    {
        LockScope hold(crew_->lock);
        ConfirmSegmentBytes(crew_->plan, connectionId_, allowed);
        segmentFinished_ = OwnSegmentDone(crew_->plan, connectionId_);
        crew_->stateDirty = true;
        stateDue = GetTickCount() - crew_->stateTick >= kStateIntervalMs;
        if (stateDue) crew_->stateTick = GetTickCount();
    }
    if (stateDue) WriteStateFile();
    if (allowed > 0) Report(JobData, nullptr, (int32_t)allowed);
    PaceReceive(allowed);
    return true;
}

// The connection's segment is complete: on with other work over a new
// connection to the same address, or the end of this connection.
int32_t DownloadJob::NextSegment()
{
    segmentFinished_ = false;
    int64_t first = 0;
    int64_t end = 0;
    bool found;
    {
        LockScope hold(crew_->lock);
        found = TakeSegmentWork(crew_->plan, connectionId_, first, end);
    }
    CloseFile();
    if (!found) return EndTransfer(JobClosed);
    {
        LockScope hold(lock_);
        exchange_.rangeStart = first;
        exchange_.rangeLength = end - first;
    }
    return Reconnect();
}

// A connection of a segmented download has ended for good. The download
// ends when every segment is written, at once on a file error or a changed
// file, and otherwise only when no connection is left.
void DownloadJob::EndConnection(int32_t code)
{
    if (retired_) return;
    retired_ = true;
    ended_ = true;
    int32_t final = 0;
    {
        LockScope hold(crew_->lock);
        ReleaseSegment(crew_->plan, connectionId_);
        --crew_->active;
        crew_->stateDirty = true;
        if (AllSegmentsDone(crew_->plan)) {
            // The last connection out merges: nobody writes the files then.
            final = crew_->active <= 0 ? JobClosed : 0;
        } else if (code == JobFileError || failure_ == JobFailureFileChanged) {
            final = code;
        } else if (crew_->active <= 0) {
            final = code == JobClosed ? JobFailed : code;
        }
        if (crew_->finalReported) final = 0;
        if (final != 0) {
            crew_->finalReported = true;
            int32_t failure = failure_ != JobFailureNone ? failure_ : (int32_t)JobFailureNetwork;
            // A file error keeps the system's reason; a closed end none.
            primary_->failure_ = final == JobClosed ? (int32_t)JobFailureNone : failure;
            primary_->failureDetail_ = final == JobClosed ? 0 : failureDetail_;
        }
    }
    if (final == JobClosed) final = FinishSegments();
    if (primary_ != this && InterlockedExchange(&holdsConnection_, 0) != 0) GiveConnectionBack();
    if (final != 0 && registration_.callback != nullptr)
        registration_.callback(nullptr, final, 0, registration_.userValue);
}

// Counts received bytes against the download's and the global limit and
// waits (without spinning) until both allow the next receive, which is kept
// small enough that the waits stay short.
void DownloadJob::PaceReceive(int64_t count)
{
    RateLimit& global = GlobalRateLimit();
    RateLimit& item = primary_->itemLimit_;
    int64_t globalRate = global.Rate();
    int64_t itemRate = item.Rate();
    if (globalRate == 0 && itemRate == 0) {
        // A limit lifted mid-transfer gives the connection its full receives back.
        if (linkPhase_ == kLinkPlain) connection_.SetReceiveBuffer(receiveBuffer_, kJobReceiveBufferSize);
        return;
    }
    global.Take(count);
    item.Take(count);
    while (stopping_ == 0) {
        uint32_t wait = global.WaitMs();
        uint32_t itemWait = item.WaitMs();
        if (itemWait > wait) wait = itemWait;
        if (wait == 0) break;
        Sleep(wait < kPaceSliceMs ? wait : kPaceSliceMs);
    }
    if (linkPhase_ != kLinkPlain) return;
    int64_t size = ReceiveSizeFor(globalRate, kJobReceiveBufferSize);
    int64_t itemSize = ReceiveSizeFor(itemRate, kJobReceiveBufferSize);
    if (itemSize < size) size = itemSize;
    connection_.SetReceiveBuffer(receiveBuffer_, (uint32_t)size);
}

// Application thread, after the first job's worker has ended: nothing
// starts helpers any more.
void DownloadJob::StopHelpers()
{
    if (crew_ == nullptr || primary_ != this) return;
    for (int32_t i = 0; i < crew_->helperCount; ++i) {
        DownloadJob* helper = crew_->helpers[i];
        helper->Stop();
        if (InterlockedExchange(&helper->holdsConnection_, 0) != 0) GiveConnectionBack();
        delete helper;
    }
    crew_->helperCount = 0;
}

void DownloadJob::SegmentPath(char* out, size_t capacity, const char* suffix) const
{
    SegmentFilePath(out, capacity, folder_, ownName_, suffix);
}

// Every segment is written and no connection is left: the files become the
// named file. JobClosed, JobFileError with the system's reason (the state
// stays for the next run), or 0 when stop was asked (likewise).
int32_t DownloadJob::FinishSegments()
{
    // A kill during the merge finds every segment written.
    WriteStateFile();
    int64_t headEnd;
    int64_t total;
    {
        LockScope hold(crew_->lock);
        headEnd = HeadSegmentEnd(crew_->plan);
        total = crew_->plan.total;
    }
    DWORD error = MergeSegmentFiles(folder_, ownName_, headEnd, total, &stopping_);
    if (error == kMergeStopped) return 0;
    LockScope hold(crew_->lock);
    if (error != 0) {
        primary_->failure_ = JobFailureFileWrite;
        primary_->failureDetail_ = static_cast<int32_t>(error);
        return JobFileError;
    }
    crew_->merged = true;
    crew_->planned = false;
    char state[kSegmentPathCapacity];
    SegmentPath(state, sizeof state, kStateFileSuffix);
    DeleteFileA(state);
    return JobClosed;
}

// The first tick of a run that found every segment written: the
// application hears of the whole file (nothing to receive), and the files
// are merged as at the end of a download.
void DownloadJob::RunPendingMerge()
{
    ResponseSummary summary = TakeSummary(exchange_);
    mw_text::Copy(summary.fileName, ownName_);
    {
        LockScope hold(crew_->lock);
        summary.totalSize = crew_->plan.total;
        crew_->accepted = true;
        crew_->active = 1;
    }
    summary.rangeFirst = summary.totalSize;
    summary.rangeRemaining = 0;
    mw_text::Copy(summary.entityTag, expectedTag_);
    summary.lastModified = expectedModified_;
    Report(JobAccepted, &summary, 0);
    Report(JobClosed, nullptr, 0);
}

// The connection fetches the head segment, which goes into the named file.
bool DownloadJob::WritesHeadSegment()
{
    LockScope hold(crew_->lock);
    return OwnsHeadSegment(crew_->plan, connectionId_);
}

// "total" and the plan's text, one line each. Written while the download
// runs and when it stops, so a crash loses at most the last second. The
// lock stays held while writing, so no write follows the merge's deletion.
void DownloadJob::WriteStateFile()
{
    char text[kStateFileMax];
    LockScope hold(crew_->lock);
    if (!crew_->planned || !crew_->stateDirty) return;
    crew_->stateDirty = false;
    FormatDecimal64(crew_->plan.total, text, sizeof text);
    mw_text::Append(text, sizeof text, "\r\n");
    size_t used = strlen(text);
    if (!FormatSegmentPlan(crew_->plan, text + used, sizeof text - used - 2)) return;
    mw_text::Append(text, sizeof text, "\r\n");
    char path[kSegmentPathCapacity];
    SegmentPath(path, sizeof path, kStateFileSuffix);
    // Rewritten in place, never emptied first: on a full disk the old
    // state stays readable, and the new one fits the room the old one had.
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    if (WriteFile(file, text, (DWORD)strlen(text), &written, nullptr) && written == strlen(text)) SetEndOfFile(file);
    CloseHandle(file);
}

bool DownloadJob::ReadStateFile(SegmentPlan& plan)
{
    char path[kSegmentPathCapacity];
    SegmentPath(path, sizeof path, kStateFileSuffix);
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char text[kStateFileMax];
    DWORD got = 0;
    bool read = ReadFile(file, text, sizeof text - 1, &got, nullptr) != 0;
    CloseHandle(file);
    if (!read) return false;
    text[got] = '\0';
    char* line = strchr(text, '\n');
    if (line == nullptr) return false;
    *line++ = '\0';
    line[strcspn(line, "\r\n")] = '\0';
    int64_t total = 0;
    return ReadDecimal64(text, total) && total > 0 && ParseSegmentPlan(line, total, plan);
}

// Stop, on the application's thread: the state of a download whose files
// are not merged yet stays beside its file; a merged one has none left, and
// one whose server file changed needs none (its bytes are worth nothing).
// Once a run: a later Stop (the job's end) no longer knows the folder.
void DownloadJob::KeepStateFile()
{
    if (crew_ == nullptr || primary_ != this || ownName_[0] == '\0' || crew_->stopKept) return;
    crew_->stopKept = true;
    if (failure_ == JobFailureFileChanged) {
        DiscardSegmentFiles(folder_, ownName_);
        return;
    }
    if (!crew_->planned || crew_->merged) return;
    crew_->stateDirty = true;
    WriteStateFile();
}

// The side file at the full size, so every segment's offset lies inside it.
bool DownloadJob::SizeFileForSegments(int64_t total)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_, &size)) return false;
    if (size.QuadPart == total) return true;
    // Sparse, so a write far into it does not first fill the gap before it
    // with zeros; a file system without sparse files does that anyway.
    DWORD returned = 0;
    DeviceIoControl(file_, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = total;
    return SetFilePointerEx(file_, end, nullptr, FILE_BEGIN) && SetEndOfFile(file_);
}

void DownloadJob::Report(int32_t code, void* info, int32_t count)
{
    if (segmented_ && crew_ != nullptr && IsEndCode(code)) {
        EndConnection(code);
        return;
    }
    if (primary_ != this && code == JobTick) return;
    if (registration_.callback != nullptr) registration_.callback(info, code, count, registration_.userValue);
}

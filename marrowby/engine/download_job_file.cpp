// The job's local file: opening at the resume position and writing body
// bytes straight from the receive buffer. Runs on the worker thread.
#include "common/bounded_text.h"
#include "marrowby/engine/download_job.h"
#include "marrowby/engine/path_helpers.h"
#include "marrowby/engine/segment_files.h"

namespace {

// The connections of a segmented download each write through a handle of
// their own.
HANDLE OpenForWriting(const char* path, bool shared)
{
    DWORD share = shared ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
    return CreateFileA(path, GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

}  // namespace

// Opens folder + the summary's file name (the side file for a segment
// other than the head) and moves to rangeFirst. A position beyond the file's
// end is refused: the gap would be left as zeros while the application
// counts it as downloaded. A body that starts at byte 0 (a fresh download,
// or a server that ignored the Range) replaces the old content: a longer old
// file would otherwise keep its tail behind the new end. The head segment
// cuts the named file where it goes on, so the file holds its bytes alone.
int DownloadJob::OpenLocalFile(const ResponseSummary& summary)
{
    CloseFile();
    const bool head = segmented_ && WritesHeadSegment();
    const bool side = segmented_ && !head;
    char path[kJobFolderCapacity + sizeof summary.fileName + sizeof kSideFileSuffix];
    mw_text::Copy(path, folder_);
    mw_text::Append(path, sizeof path, summary.fileName);
    if (side) mw_text::Append(path, sizeof path, kSideFileSuffix);

    file_ = OpenForWriting(path, segmented_);
    if (file_ == INVALID_HANDLE_VALUE) {
        CreateFolderPath(folder_);
        file_ = OpenForWriting(path, segmented_);
        if (file_ == INVALID_HANDLE_VALUE) return 1;
    }
    // Segments are written in place: the side file has its full size first
    // and keeps what the other segments hold.
    if (side && !SizeFileForSegments(summary.totalSize)) {
        CloseFile();
        return 1;
    }
    LARGE_INTEGER size;
    LARGE_INTEGER position;
    position.QuadPart = summary.rangeFirst;
    if (summary.rangeFirst < 0 || !GetFileSizeEx(file_, &size) || position.QuadPart > size.QuadPart ||
        !SetFilePointerEx(file_, position, nullptr, FILE_BEGIN) ||
        (!side && (head || position.QuadPart == 0) && size.QuadPart > position.QuadPart && !SetEndOfFile(file_))) {
        CloseFile();
        return 1;
    }
    return 0;
}

// Writes body bytes and reports them. A failed or short write (a full disk)
// ends the transfer instead of counting bytes that never reached the file.
bool DownloadJob::WriteBody(const char* data, size_t count)
{
    if (segmented_ && crew_ != nullptr) return WriteSegmentBody(data, count);
    DWORD written = 0;
    if (file_ == INVALID_HANDLE_VALUE || !WriteFile(file_, data, (DWORD)count, &written, nullptr)) return false;
    if (written != count) {
        SetLastError(ERROR_DISK_FULL);  // a short write without an error is a full disk
        return false;
    }
    Report(JobData, nullptr, (int32_t)count);
    PaceReceive((int64_t)count);
    return true;
}

void DownloadJob::CloseFile()
{
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
}

// Merging the named file and the side file of a finished segmented
// download, and the paths and sizes that resuming one needs.
#include "marrowby/engine/segment_files.h"

#include <new>

#include "common/bounded_text.h"
#include "marrowby/engine/segment_plan.h"

namespace {

const DWORD kCopyChunk = 1 << 20;
// Another program reading the named file (a viewer, a virus scanner) keeps
// it from being replaced for a moment: asked again this often, this long
// apart, before the side file's rest is appended instead.
const int kReplaceAttempts = 10;
const DWORD kReplacePauseMs = 50;

bool HeldByAnother(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

HANDLE OpenExisting(const char* path, DWORD access)
{
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool MoveTo(HANDLE file, int64_t position)
{
    LARGE_INTEGER at;
    at.QuadPart = position;
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0;
}

// Copies [first, end) of from to the same offsets of to.
DWORD CopyRange(HANDLE from, HANDLE to, int64_t first, int64_t end, const volatile LONG* stopping)
{
    if (!MoveTo(from, first) || !MoveTo(to, first)) return GetLastError();
    char* buffer = new (std::nothrow) char[kCopyChunk];
    if (buffer == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    DWORD error = 0;
    for (int64_t at = first; at < end && error == 0;) {
        if (*stopping != 0) {
            error = kMergeStopped;
            break;
        }
        DWORD want = end - at < kCopyChunk ? (DWORD)(end - at) : kCopyChunk;
        DWORD got = 0;
        DWORD written = 0;
        if (!ReadFile(from, buffer, want, &got, nullptr)) {
            error = GetLastError();
        } else if (got != want) {
            error = ERROR_HANDLE_EOF;  // the file is shorter than its share
        } else if (!WriteFile(to, buffer, got, &written, nullptr)) {
            error = GetLastError();
        } else if (written != got) {
            error = ERROR_DISK_FULL;
        }
        at += got;
    }
    delete[] buffer;
    return error;
}

DWORD CopyBetween(const char* fromPath, const char* toPath, int64_t first, int64_t end, const volatile LONG* stopping)
{
    HANDLE from = OpenExisting(fromPath, GENERIC_READ);
    if (from == INVALID_HANDLE_VALUE) return GetLastError();
    HANDLE to = OpenExisting(toPath, GENERIC_WRITE);
    if (to == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        CloseHandle(from);
        return error;
    }
    DWORD error = CopyRange(from, to, first, end, stopping);
    CloseHandle(to);
    CloseHandle(from);
    return error;
}

// The head goes into the side file, which then takes the named file's
// place in one step: until then the named file keeps its prefix.
DWORD CopyHeadThenReplace(const char* named, const char* side, int64_t headEnd, int64_t total,
                          const volatile LONG* stopping)
{
    if (FileSizeAt(side) != total) return ERROR_HANDLE_EOF;
    DWORD error = CopyBetween(named, side, 0, headEnd, stopping);
    for (int attempt = 1; error == 0; ++attempt) {
        if (MoveFileExA(side, named, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
        error = GetLastError();
        if (!HeldByAnother(error) || attempt >= kReplaceAttempts) break;
        if (*stopping != 0) return kMergeStopped;
        Sleep(kReplacePauseMs);
        error = 0;
    }
    return error;
}

}  // namespace

void SegmentFilePath(char* out, size_t capacity, const char* folder, const char* name, const char* suffix)
{
    mw_text::Copy(out, capacity, folder);
    mw_text::Append(out, capacity, name);
    mw_text::Append(out, capacity, suffix);
}

int64_t FileSizeAt(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    LARGE_INTEGER size;
    bool known = GetFileSizeEx(file, &size) != 0;
    CloseHandle(file);
    return known ? (int64_t)size.QuadPart : -1;
}

bool CutFileAt(const char* path, int64_t size)
{
    HANDLE file = OpenExisting(path, GENERIC_WRITE);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER current;
    bool cut = GetFileSizeEx(file, &current) != 0 &&
               (current.QuadPart <= size || (MoveTo(file, size) && SetEndOfFile(file) != 0));
    CloseHandle(file);
    return cut;
}

DWORD MergeSegmentFiles(const char* folder, const char* name, int64_t headEnd, int64_t total,
                        const volatile LONG* stopping)
{
    char named[kSegmentPathCapacity];
    char side[kSegmentPathCapacity];
    SegmentFilePath(named, sizeof named, folder, name, "");
    SegmentFilePath(side, sizeof side, folder, name, kSideFileSuffix);
    int64_t namedSize = FileSizeAt(named);
    if (namedSize < 0) return ERROR_FILE_NOT_FOUND;
    if (namedSize > total) return ERROR_FILE_INVALID;
    if (namedSize < total) {
        if (namedSize < headEnd) return ERROR_HANDLE_EOF;  // the head's bytes are not all there
        // An append already under way goes on where it stopped.
        bool copyHead = namedSize == headEnd && MergeCopiesHead(headEnd, total);
        DWORD error = copyHead ? CopyHeadThenReplace(named, side, headEnd, total, stopping) : 0;
        // A named file that another program keeps from being replaced gets
        // the side file's rest behind its prefix instead.
        if (!copyHead || HeldByAnother(error)) error = CopyBetween(side, named, namedSize, total, stopping);
        if (error != 0) return error;
        if (FileSizeAt(named) != total) return ERROR_HANDLE_EOF;
    }
    DeleteFileA(side);
    return 0;
}

bool DiscardSegmentFiles(const char* folder, const char* name)
{
    char path[kSegmentPathCapacity];
    SegmentFilePath(path, sizeof path, folder, name, kSideFileSuffix);
    bool side = DeleteFileA(path) != 0;
    SegmentFilePath(path, sizeof path, folder, name, kStateFileSuffix);
    DeleteFileA(path);
    return side;
}

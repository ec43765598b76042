// The first phase: every entry checked before anything is written, then
// decoded into the staging folder and verified against its header.
#include <cstdio>
#include <cstring>

#include "tidewell/lzh/lzh_decoder.h"
#include "tidewell/lzh/lzh_entry_check.h"
#include "tidewell/lzh/lzh_path.h"
#include "tidewell/updater/apply_archive.h"
#include "tidewell/updater/status_line.h"

namespace {

constexpr uint32_t kDataChunk = 32768;

// Decoded data on its way to the staged file (the worker's only buffer).
uint8_t g_chunk[kDataChunk];

// A level-0 directory entry keeps nothing after its last backslash: it
// names no folder at all. A directory some archivers store as a nameless
// empty file names nothing to write either.
bool NamesNothing(const LzhEntry* entry)
{
    return (LzhIsDirectoryEntry(entry) && entry->directory[0] == '\0' && entry->name[0] == '\0') ||
           LzhIsNamelessEntry(entry);
}

// Whether the entry's path starts with the staging folder's own name.
bool StartsWithStageFolder(const LzhEntry* entry)
{
    const char* path = entry->directory[0] ? entry->directory : entry->name;
    size_t length = std::strlen(kStageFolderName);
    return _strnicmp(path, kStageFolderName, length) == 0 &&
           (path[length] == '\0' || path[length] == '\\' || path[length] == '/');
}

bool Stopped(HANDLE stopEvent, DWORD waitMs)
{
    return stopEvent && WaitForSingleObject(stopEvent, waitMs) == WAIT_OBJECT_0;
}

void ShowProgress(const ApplyJob* job, int32_t n, int32_t count)
{
    if (!job->window) return;
    char text[kProgressLabelSize + 32];
    std::snprintf(text, sizeof(text), "%s ( %d/%d )", job->progressLabel, static_cast<int>(n), static_cast<int>(count));
    PostStatusText(job->window, text);
}

// Decodes the selected entry into file; stops between chunks when asked.
ApplyOutcome WriteEntryData(HANDLE file, const LzhEntry* entry, HANDLE stopEvent)
{
    LzhEntryCheck check;
    LzhCheckStart(&check, entry);
    for (;;) {
        uint32_t got = LzhRead(g_chunk, kDataChunk);
        if (got == 0) break;
        LzhCheckAdd(&check, g_chunk, got);
        DWORD written = 0;
        if (!WriteFile(file, g_chunk, got, &written, nullptr) || written != got) return kApplyFailed;
        if (Stopped(stopEvent, 0)) return kApplyStopped;
    }
    // Damaged data, or a decoder fault, never passes as a good file.
    return LzhCheckFinish(&check) == LZH_CHECK_OK ? kApplyWritten : kApplyFailed;
}

ApplyOutcome StageFile(LzhArchive* archive, int32_t n, const char* path, HANDLE stopEvent)
{
    if (LzhSelectEntry(archive, n) != 0) return kApplyFailed;
    const LzhEntry* entry = LzhGetEntry(archive, n);
    if (!entry) return kApplyFailed;
    CreateFoldersAlong(path, false);
    DeleteFileA(path);  // an earlier entry of the same name: the later one wins
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kApplyFailed;
    ApplyOutcome outcome = WriteEntryData(file, entry, stopEvent);
    // A zero time leaves that time as the system set it; the move into the
    // install folder keeps all three.
    FILETIME created = FileTimeOf(entry->creationTime);
    FILETIME accessed = FileTimeOf(entry->lastAccessTime);
    FILETIME written = FileTimeOf(entry->lastWriteTime);
    if (outcome == kApplyWritten &&
        !SetFileTime(file, entry->creationTime ? &created : nullptr, entry->lastAccessTime ? &accessed : nullptr,
                     entry->lastWriteTime ? &written : nullptr))
        outcome = kApplyFailed;
    if (!CloseHandle(file)) outcome = kApplyFailed;
    return outcome;
}

}  // namespace

int CheckArchiveEntries(LzhArchive* archive, const char* installFolder)
{
    for (int32_t n = 1; n <= archive->count; n++) {
        const LzhEntry* entry = LzhGetEntry(archive, n);
        if (!entry) return 1;
        if (NamesNothing(entry)) continue;
        // A file needs a name; only a directory entry may end in its folder.
        if (!LzhIsDirectoryEntry(entry) && entry->name[0] == '\0') return 1;
        char target[kApplyPathSize];
        if (LzhJoinEntryPath(installFolder, entry->directory, entry->name, '\\', target, sizeof(target)) !=
                LZH_PATH_OK ||
            StartsWithStageFolder(entry))
            return 1;
    }
    return 0;
}

ApplyOutcome StageArchiveEntries(LzhArchive* archive, const ApplyJob* job, const StageFolders* folders)
{
    for (int32_t n = 1; n <= archive->count; n++) {
        if (Stopped(job->stopEvent, 1)) return kApplyStopped;
        ShowProgress(job, n, archive->count);
        const LzhEntry* entry = LzhGetEntry(archive, n);
        if (!entry) return kApplyFailed;
        if (NamesNothing(entry)) continue;
        char path[kStagePathSize];
        if (LzhJoinEntryPath(folders->fresh, entry->directory, entry->name, '\\', path, sizeof(path)) != LZH_PATH_OK)
            return kApplyFailed;
        if (LzhIsDirectoryEntry(entry)) {
            CreateFoldersAlong(path, true);
            if (!IsFolder(path)) return kApplyFailed;
            continue;
        }
        ApplyOutcome outcome = StageFile(archive, n, path, job->stopEvent);
        if (outcome != kApplyWritten) return outcome;
    }
    return kApplyWritten;
}

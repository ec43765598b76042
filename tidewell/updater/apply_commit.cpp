// The second phase: the staged files take their places in the install
// folder. Every step is recorded so that a failure can undo the steps made
// so far in reverse: placed files go back to the staging folder, files set
// aside return, folders made for the update are removed again.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tidewell/updater/apply_archive.h"

namespace {

// Relative paths below the staging folder; a folder's ends in '\'.
struct StagedItem {
    bool folder;
    char relative[kApplyPathSize];
};

enum StepKind { kMadeFolder, kSetAside, kPlaced };

struct CommitStep {
    StepKind kind;
    const StagedItem* item;
};

// Grows by doubling; false when memory runs out.
template <typename T>
bool Reserve(T** items, size_t count, size_t* capacity, size_t wanted)
{
    if (count + wanted <= *capacity) return true;
    size_t grown = *capacity ? *capacity * 2 : 64;
    while (grown < count + wanted) grown *= 2;
    T* more = static_cast<T*>(std::realloc(*items, grown * sizeof(T)));
    if (!more) return false;
    *items = more;
    *capacity = grown;
    return true;
}

struct StagedList {
    StagedItem* items = nullptr;
    size_t count = 0;
    size_t capacity = 0;
};

// Every file and folder below fresh + relative, each folder before what it
// holds. Listed first, moved afterwards: a folder is never changed while it
// is being read.
bool CollectStaged(const char* fresh, const char* relative, StagedList* list)
{
    char pattern[kStagePathSize];
    if (std::snprintf(pattern, sizeof(pattern), "%s%s*", fresh, relative) >= static_cast<int>(sizeof(pattern)))
        return false;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return true;  // an empty archive stages nothing
    bool ok = true;
    do {
        if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
        bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        ok = Reserve(&list->items, list->count, &list->capacity, 1);
        StagedItem* item = ok ? &list->items[list->count] : nullptr;
        int length = ok ? std::snprintf(item->relative, sizeof(item->relative), "%s%s%s", relative, found.cFileName,
                                        folder ? "\\" : "")
                        : 0;
        ok = ok && length > 0 && static_cast<size_t>(length) < sizeof(item->relative);
        if (ok) {
            item->folder = folder;
            list->count++;
        }
        // The item's text is copied: the list may move while growing.
        char child[kApplyPathSize];
        if (ok && folder) {
            std::memcpy(child, item->relative, static_cast<size_t>(length) + 1);
            ok = CollectStaged(fresh, child, list);
        }
    } while (ok && FindNextFileA(search, &found));
    FindClose(search);
    return ok;
}

struct Commit {
    const StageFolders* folders;
    CommitStep* steps = nullptr;
    size_t count = 0;
    size_t capacity = 0;
};

void PathOf(const char* folder, const StagedItem* item, char (&out)[kStagePathSize])
{
    std::snprintf(out, sizeof(out), "%s%s", folder, item->relative);
}

void Record(Commit* commit, StepKind kind, const StagedItem* item)
{
    commit->steps[commit->count++] = CommitStep{kind, item};  // room was reserved
}

bool PlaceFolder(Commit* commit, const StagedItem* item)
{
    char target[kStagePathSize];
    PathOf(commit->folders->install, item, target);
    if (IsFolder(target)) return true;
    if (!CreateDirectoryA(target, nullptr)) return false;  // also where a file of that name stands
    Record(commit, kMadeFolder, item);
    return true;
}

// A file that the update replaces is moved aside, not deleted: the running
// updater's own program file can be renamed but not removed, and every
// replaced file must be there to put back until the last move succeeded.
bool PlaceFile(Commit* commit, const StagedItem* item)
{
    char target[kStagePathSize], staged[kStagePathSize], aside[kStagePathSize];
    PathOf(commit->folders->install, item, target);
    PathOf(commit->folders->fresh, item, staged);
    PathOf(commit->folders->aside, item, aside);
    DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // A read-only file is not to be replaced; a folder cannot be.
        if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return false;
        CreateFoldersAlong(aside, false);
        if (!MoveFileA(target, aside)) return false;  // held open by another process
        Record(commit, kSetAside, item);
    }
    if (!MoveFileA(staged, target)) return false;
    Record(commit, kPlaced, item);
    return true;
}

void Undo(const Commit* commit)
{
    for (size_t i = commit->count; i-- > 0;) {
        const CommitStep& step = commit->steps[i];
        char target[kStagePathSize], other[kStagePathSize];
        PathOf(commit->folders->install, step.item, target);
        if (step.kind == kMadeFolder) {
            RemoveDirectoryA(target);
        } else if (step.kind == kPlaced) {
            PathOf(commit->folders->fresh, step.item, other);
            if (!MoveFileA(target, other)) DeleteFileA(target);
        } else {
            PathOf(commit->folders->aside, step.item, other);
            MoveFileA(other, target);
        }
    }
}

// After success the files set aside go; one that cannot (the running
// program) stays in the staging folder until the next run removes it.
void DropSetAside(const Commit* commit)
{
    for (size_t i = 0; i < commit->count; i++) {
        if (commit->steps[i].kind != kSetAside) continue;
        char aside[kStagePathSize];
        PathOf(commit->folders->aside, commit->steps[i].item, aside);
        DeleteFileA(aside);
    }
}

}  // namespace

int CommitStagedEntries(const StageFolders* folders)
{
    StagedList list;
    Commit commit;
    commit.folders = folders;
    bool ok =
        CollectStaged(folders->fresh, "", &list) && Reserve(&commit.steps, 0, &commit.capacity, 2 * list.count + 1);
    for (size_t i = 0; ok && i < list.count; i++) {
        const StagedItem* item = &list.items[i];
        ok = item->folder ? PlaceFolder(&commit, item) : PlaceFile(&commit, item);
    }
    if (ok)
        DropSetAside(&commit);
    else
        Undo(&commit);
    std::free(commit.steps);
    std::free(list.items);
    return ok ? 0 : 1;
}

// Applying a downloaded archive to the install folder in two phases. First
// every entry is checked (it must stay inside the install folder) and then
// decoded into the staging folder, its size and CRC-16 verified against its
// header. Only when all of them are staged do the staged files take their
// places, each replaced file kept aside until every move has succeeded. A
// failure or a stop at any point leaves the install folder as it was and
// removes the staging folder.
#pragma once

#include <windows.h>

#include "tidewell/lzh/lzh_archive.h"
#include "tidewell/updater/apply_files.h"

// Outcomes; they are also WM_APPLY_DONE's wParam.
enum ApplyOutcome {
    kApplyWritten = 0,  // every entry is in place
    kApplyFailed = 1,   // nothing changed
    kApplyStopped = 2   // stopped on request; nothing changed
};

constexpr size_t kProgressLabelSize = 256;

struct ApplyJob {
    char archivePath[kApplyPathSize];
    char installFolder[kFolderSize];         // empty: the current folder
    char progressLabel[kProgressLabelSize];  // shown as "<label> ( n/count )"
    HANDLE stopEvent;                        // none: never stopped
    HWND window;                             // gets the progress lines; none: not shown
};

// Runs the whole update on the calling thread.
ApplyOutcome ApplyArchive(const ApplyJob* job);

// Phases (apply_stage.cpp, apply_commit.cpp) on an archive whose headers
// are read.
// 0 when every entry's path stays inside the install folder and fits the
// path buffer, 1 otherwise; nothing is written.
int CheckArchiveEntries(LzhArchive* archive, const char* installFolder);
// Decodes every entry below folders->fresh, verified; a directory entry
// makes its directory.
ApplyOutcome StageArchiveEntries(LzhArchive* archive, const ApplyJob* job, const StageFolders* folders);
// Moves everything staged into the install folder: 0, or 1 after putting
// every replaced file back.
int CommitStagedEntries(const StageFolders* folders);

#include "tidewell/updater/apply_archive.h"

#include "tidewell/lzh/lzh_archive.h"

namespace {

// Both phases on an archive whose headers are read. The staging folder is
// gone again afterwards, whatever happened (one leftover is possible: the
// running updater's own replaced program file).
ApplyOutcome ApplyEntries(LzhArchive* archive, const ApplyJob* job)
{
    StageFolders folders;
    if (!SetStageFolders(job->installFolder, &folders)) return kApplyFailed;
    // Nothing is written before every entry has been found to stay inside.
    if (CheckArchiveEntries(archive, folders.install) != 0) return kApplyFailed;
    RemoveTree(folders.root);  // what an interrupted earlier run left
    CreateFoldersAlong(folders.fresh, true);
    if (!IsFolder(folders.fresh)) return kApplyFailed;
    ApplyOutcome outcome = StageArchiveEntries(archive, job, &folders);
    if (outcome == kApplyWritten && job->stopEvent && WaitForSingleObject(job->stopEvent, 0) == WAIT_OBJECT_0)
        outcome = kApplyStopped;
    // Once the moves begin they are finished or undone as one.
    if (outcome == kApplyWritten && CommitStagedEntries(&folders) != 0) outcome = kApplyFailed;
    RemoveTree(folders.root);
    return outcome;
}

}  // namespace

ApplyOutcome ApplyArchive(const ApplyJob* job)
{
    LzhArchive archive = {};
    ApplyOutcome outcome = kApplyFailed;
    // A file that is not an LZH archive, or whose headers are damaged, fails.
    if (LzhOpen(job->archivePath, &archive) == 0 && LzhReadHeaders(&archive) == 0)
        outcome = ApplyEntries(&archive, job);
    LzhClose(&archive);
    return outcome;
}

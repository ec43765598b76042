// The GUI thread's side of the end of the extraction: the information file
// now describes the new version, and the updated program starts when the
// record asks for it.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "common/atomic_file.h"
#include "tidewell/lzh/lzh_path.h"
#include "tidewell/resources/resource.h"
#include "tidewell/updater/apply_archive.h"
#include "tidewell/updater/apply_update.h"
#include "tidewell/updater/info_file_name.h"
#include "tidewell/updater/status_line.h"
#include "tidewell/updater/update_window.h"

namespace {

// Enough for the program name and whatever follows it up to its terminator.
constexpr size_t kProgramNameSize = 260;

void EndWith(UpdaterContext* context, int id, int32_t step)
{
    if (step == kStepStopped) context->exitCode = kExitFailed;
    SetStatus(context, id);
    SetButton(context, IDS_BUTTON_EXIT, true);
    context->step = step;
}

// The program the record names, started from the install folder; the name
// comes from the server, so it must stay inside that folder as an archive
// entry must. True when the shell started it.
bool StartUpdatedProgram(const UpdaterContext* context)
{
    RecordView fetched = FetchedRecord(*context);
    char name[kProgramNameSize];
    bool cut = false;
    RecordText(fetched, kRecord2ProgramOffset, name, sizeof(name), &cut);
    if (cut || LzhCheckEntryPath("", name) != LZH_PATH_OK) return false;
    char path[kApplyPathSize];
    int length = std::snprintf(path, sizeof(path), "%s%s", context->installFolder, name);
    if (length < 0 || static_cast<size_t>(length) >= sizeof(path)) return false;
    HINSTANCE started = ShellExecuteA(nullptr, "open", path, nullptr, "", SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(started) > 32;
}

}  // namespace

int WriteInformationFile(const UpdaterContext* context)
{
    RecordView fetched = FetchedRecord(*context);
    char name[kFolderSize];
    if (InformationFileName(fetched, context->infoFileName, name, sizeof(name)) != 0) return 1;
    // The old file stays whole until the new one is complete on disk.
    AtomicFile file;
    if (BeginAtomicFile(&file, name) != 0) return 1;
    WriteAtomicFile(&file, fetched.bytes, fetched.size);
    int result = CommitAtomicFile(&file);
    return result == 0 ? 0 : result == 4 ? 1 : 2;
}

void OnApplyDone(UpdaterContext* context, WPARAM outcome)
{
    if (outcome == kApplyFailed) {
        EndApply();
        EndWith(context, IDS_UPDATE_FAILED, kStepStopped);
        return;
    }
    if (outcome != kApplyWritten) return;  // stopped: the shutdown is under way and nothing changed
    EndApply();
    EndWith(context, IDS_UPDATE_FINISHED, kStepApplying);
    if (WriteInformationFile(context) != 0) {
        EndWith(context, IDS_INFO_WRITE_FAILED, kStepStopped);
        return;
    }
    EndWith(context, IDS_UPDATE_FINISHED, kStepFinished);
    RecordView fetched = FetchedRecord(*context);
    if (RecordFormat(fetched) != 2 || !(RecordFlags(fetched) & kRecordFlagStartProgram)) return;
    if (StartUpdatedProgram(context))
        ShutDownUpdater(context);
    else {
        // The update is in place, but the run still ends with a failure.
        context->exitCode = kExitFailed;
        SetStatus(context, IDS_START_PROGRAM_FAILED);
    }
}

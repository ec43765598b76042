#include "tidewell/updater/updater_startup.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

#include "common/bounded_text.h"
#include "tidewell/resources/resource.h"
#include "tidewell/updater/apply_update.h"
#include "tidewell/updater/command_line.h"
#include "tidewell/updater/confirm_dialog.h"
#include "tidewell/updater/info_file.h"
#include "tidewell/updater/publisher_keys.h"
#include "tidewell/updater/update_window.h"
#include "tidewell/updater/user_agent.h"

UpdaterContext g_updater;

namespace {

constexpr int kStringSize = 256;

char g_userAgent[kUserAgentSize];

// Start-up messages: no owner, the default caption, OK.
int FailStartup(UpdaterContext* context, int id)
{
    char text[kStringSize];
    if (LoadStringA(context->instance, id, text, kStringSize) <= 0) text[0] = '\0';
    MessageBoxA(nullptr, text, nullptr, MB_OK);
    FreeRecords(context);
    return kExitFailed;
}

// The installed record decides the URL and the user agent; a record that is
// held but cannot be used ends the start with its message (0 when usable).
int TakeInstalledRecord(UpdaterContext* context)
{
    RecordView installed = InstalledRecord(*context);
    BuildUserAgent(RecordView{nullptr, 0}, g_userAgent, sizeof(g_userAgent));
    if (!RecordPresent(installed)) return 0;
    // Fewer bytes than the head, or than the fixed part of format 2, is a
    // file that cannot be read.
    int32_t format = RecordFormat(installed);
    if (format < 0) return IDS_INFO_FILE_UNREADABLE;
    if (format != 2) return IDS_INFO_FILE_NO_URL;
    if (CheckRecordLength(installed) != kRecordLengthOk) return IDS_INFO_FILE_UNREADABLE;
    RecordText(installed, kRecord2InfoUrlOffset, context->infoUrl, sizeof(context->infoUrl));
    BuildUserAgent(installed, g_userAgent, sizeof(g_userAgent));
    return 0;
}

void TakeCommandLine(UpdaterContext* context, const CommandLineArgs& args)
{
    mw_text::Copy(context->infoUrl, args.url);
    if (args.hasInfoFile) mw_text::Copy(context->infoFileName, args.infoFile);
    if (args.hasFolder) mw_text::Copy(context->downloadFolder, args.folder);
}

}  // namespace

void FreeRecords(UpdaterContext* context)
{
    std::free(context->installedRecord);
    std::free(context->fetchedRecord);
    context->installedRecord = context->fetchedRecord = nullptr;
    context->installedSize = context->fetchedSize = 0;
}

int RunUpdater(HINSTANCE instance, const char* commandLine)
{
    UpdaterContext* context = &g_updater;
    std::memset(context, 0, sizeof(*context));
    context->instance = instance;
    char ownFolder[kFolderSize];
    OwnInstallFolder(ownFolder, sizeof(ownFolder));
    if (ownFolder[0] != '\0') RemoveApplyLeftovers(ownFolder);
    context->recordLoaded = LoadInformationFile(context) == kInfoFileLoaded ? 1 : 0;
    int failure = TakeInstalledRecord(context);
    if (failure != 0) return FailStartup(context, failure);
    LoadPublisherKeys(context);
    CommandLineArgs args;
    if (ParseCommandLine(commandLine, &args))
        TakeCommandLine(context, args);
    else if (context->recordLoaded == 0)
        return FailStartup(context, IDS_INFO_FILE_UNREADABLE);
    InitCommonControls();
    if (CreateUpdateWindow(context, g_userAgent) != 0) {
        FreeRecords(context);
        return kExitFailed;
    }
    ShowWindow(context->mainWindow, SW_SHOW);
    UpdateWindow(context->mainWindow);
    RunUpdateStep(context);
    int exitCode = RunUpdateLoop(context);
    ReleaseUpdateWindow();
    return exitCode;
}

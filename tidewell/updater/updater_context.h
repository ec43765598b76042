// The updater's single application record, owned by the GUI thread, and the
// steps of the update.
#pragma once

#include <windows.h>

#include <cstdint>

#include "tidewell/updater/command_line.h"
#include "tidewell/updater/signing.h"
#include "tidewell/updater/update_record.h"

enum UpdateStep : int32_t {
    kStepFetchInfo = 0,
    kStepWaitInfo = 1,
    kStepCompare = 2,
    kStepConfirm = 4,
    kStepWaitArchive = 5,
    kStepCheckArchive = 6,
    kStepApplying = 7,
    kStepFinished = 8,
    kStepStopped = 9
};

// Window messages of the updater's window.
constexpr UINT WM_APPLY_DONE = WM_APP + 100;
constexpr UINT WM_STATUS_TEXT = WM_APP + 101;  // a worker's progress text is waiting

// Exit codes: 0 for a completed update, a cancel, or nothing newer to
// install; any run that ends with a failure message exits with 1.
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;

constexpr size_t kInfoUrlSize = kArgumentMax + 1;
constexpr size_t kFolderSize = 260;
constexpr size_t kArchiveNameSize = 256;

struct UpdaterContext {
    HWND mainWindow;
    HINSTANCE instance;
    HDC windowDc;  // the window's own device context (CS_OWNDC)
    HFONT statusFont;
    HGDIOBJ previousFont;
    HWND button;
    HWND progressBar;
    const char* statusText;  // redrawn on paint
    int32_t recordLoaded;    // 1: the information file was read whole and its magic matched
    char infoUrl[kInfoUrlSize];
    char infoFileName[kFolderSize];
    char archiveFileName[kArchiveNameSize];
    char downloadFolder[kFolderSize];
    char installFolder[kFolderSize];  // empty: the current folder
    int32_t step;
    int32_t comparison;
    int32_t exitCode;  // kExitFailed once a failure was shown
    uint8_t* installedRecord;
    uint32_t installedSize;
    uint8_t* fetchedRecord;
    uint32_t fetchedSize;
    // The publisher keys held: built in and from the installed record. With
    // any key (or a damaged built-in one) only signed records are taken.
    EcPublicKey publisherKeys[2];
    uint32_t publisherKeyCount;
    int32_t publicKeyDamaged;
    uint8_t signedArchiveDigest[kSha256Size];  // from the accepted record's signature
};

inline bool HoldsPublisherKey(const UpdaterContext& context)
{
    return context.publisherKeyCount > 0 || context.publicKeyDamaged;
}

extern UpdaterContext g_updater;

inline RecordView InstalledRecord(const UpdaterContext& context)
{
    return RecordView{context.installedRecord, context.installedSize};
}

inline RecordView FetchedRecord(const UpdaterContext& context)
{
    return RecordView{context.fetchedRecord, context.fetchedSize};
}

// Frees both records (window destruction, failed start-up).
void FreeRecords(UpdaterContext* context);

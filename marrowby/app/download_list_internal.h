// State and helpers shared by the download list's source files.
#pragma once

#include <stdint.h>

#include <unordered_map>
#include <vector>

#include "marrowby/app/download_list.h"

constexpr size_t kProductSize = 128;

struct DownloadListState {
    HWND window;       // receives the job messages
    HWND listControl;  // shows one row per item
    DownloadItem* first;
    DownloadItem* last;
    int32_t nextRow;  // rows the list believes it shows
    HostCallback callback;
    void* context;
    void (*removalObserver)(DownloadItem* item);
    void (*runEndObserver)(const DownloadItem* item, bool failed);
    char product[kProductSize];
    // Job messages carry a run ticket, not the item: a ticket is valid from
    // the start of a run until the item starts again or is freed, so messages
    // of removed items and of earlier runs find nothing.
    uint32_t lastTicket;
    std::unordered_map<uint32_t, DownloadItem*> runs;
    // The item of each row: the list control holds no texts of its own.
    std::vector<DownloadItem*> rows;
    bool redrawHeld;     // a list file is adding rows: the count is set at the end
    uint32_t titleTick;  // when the title bar last showed the progress
};

DownloadListState& ListState();

// Stops and destroys the item's job, if any.
void ReleaseJob(DownloadItem* item);
// Gives the item a fresh run ticket and forgets its previous one.
void BeginRun(DownloadItem* item);
// The item of a live run ticket, or null.
DownloadItem* ItemOfTicket(uint32_t ticket);

// Tells the run-end observer, when one is set.
void ReportRunEnd(const DownloadItem* item, bool failed);
// Stops the item's job and shows the state the run ended in.
void EndItemRun(DownloadItem* item, int row, ItemState state, int icon);
// The item's folder with exactly one trailing backslash, or empty when the
// item has none.
void SeparatedItemFolder(const DownloadItem* item, char* out, size_t capacity);

// Holds the list control's drawing while a file adds its rows (false), then
// lets it draw again with one repaint (true).
void SetListRedraw(bool draw);
// Opens a list or URL file for sequential reading (list_file.cpp);
// INVALID_HANDLE_VALUE when path is empty or the file cannot be opened.
HANDLE OpenListInput(const char* path);
// ByteReadFn over the file handle given as context.
size_t ReadListInput(void* context, uint8_t* buffer, size_t capacity);

// Tells the list control how many rows there are, keeping its scroll
// position and selection.
void SyncRowCount();
// Elapsed time since startTick as minutes:seconds, in unsigned milliseconds
// so that a wrap of the tick count still gives the right difference.
void FormatElapsed(uint32_t startTick, uint32_t now, char* out, size_t capacity);
void ShowElapsed(DownloadItem* item);

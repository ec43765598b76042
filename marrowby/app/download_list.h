// The download list: every download as a DownloadItem, shown as one row of a
// report-view list control that asks for its rows' texts when it draws them, and the scheduler that starts
// waiting items up to the configured limit. Everything here runs on the GUI
// thread; only the job callback runs on the jobs' worker threads.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "marrowby/app/checksum_text.h"
#include "marrowby/app/host_notice.h"
#include "marrowby/app/transfer_rate.h"

class DownloadJob;

enum class ItemState : int32_t {
    Waiting = 0,
    Completed = 1,
    Paused = 2,
    Running = 3,
    Failed = 4,
};

// Images of the list control's small image list, in order.
enum RowIcon : int {
    kIconWaiting = 0,
    kIconCompleted = 1,
    kIconPaused = 2,
    kIconStarted = 3,
    kIconReceiving = 4,
    kIconFailed = 5,
};

// Columns of the list control.
enum ListColumn : int {
    kColumnFileName = 0,
    kColumnSize = 1,
    kColumnDownloaded = 2,
    kColumnElapsed = 3,
    kColumnTries = 4,
    kColumnAddress = 5,
    kColumnStatus = 6,
    kColumnProgress = 7,
    kColumnSpeed = 8,
    kColumnTimeLeft = 9,
};
constexpr int kListColumnCount = 10;

constexpr size_t kItemFileNameSize = 513;
constexpr size_t kItemReferrerSize = 1153;
constexpr size_t kItemUserSize = 49;
constexpr size_t kItemPasswordSize = 49;
constexpr size_t kItemFolderSize = 264;
constexpr size_t kItemEntityTagSize = 129;

// Kept small: a list may hold 100,000 items, and every byte of a record is
// memory the list must fill before its window shows. The texts live on the
// heap at their own length and change only through their Set functions.
struct DownloadItem {
    DownloadJob* job;  // owned; set only while the item is Running
    DownloadItem* next;
    DownloadItem* prev;
    // 64-bit: files beyond 4 GiB. Written by the job's worker thread while
    // the GUI thread reads them: both go through ItemCount/SetItemCount then.
    int64_t downloaded;  // bytes present or received; the next resume offset
    int64_t size;        // total size, 0 (or -1 from a list file) when unknown
    // Never null; empty ones share one constant text. A URL may run to
    // kUrlTextMax bytes; every other text is cut to its kItem...Size - 1.
    const char* url;
    const char* referrer;
    const char* fileName;  // the local file's name without its folder
    const char* folder;
    const char* user;      // empty: the default user is used
    const char* password;  // empty: the default password is used
    // The expected checksum in its stored form ("sha256:..."), empty for
    // none; a job's thread reads it through CopyItemChecksum.
    const char* checksum;
    // What the server said of its file when the download began (ETag, and
    // Last-Modified in seconds since 1970; empty and 0 when not said): a
    // resume against a changed file starts again from byte 0.
    const char* entityTag;
    // The segments' progress of an unfinished segmented download (the
    // list's "_Segments" text) on the heap, or null.
    char* segments;
    RateMeter* rate;  // recent byte counts; null until the item first runs
    int32_t row;      // index of the item's row
    ItemState state;
    uint32_t startTick;      // tick count of the last start; base of the elapsed time
    int32_t tries;           // starts made by scheduling passes
    uint32_t runTicket;      // identifies the current run in job messages; 0 none
    int32_t checksumResult;  // how the finished file compared with the checksum
    int32_t lastModified;
    int32_t failure;         // why the last run failed (a JobFailure); 0 none
    int32_t failureDetail;   // its HTTP status or system error code; 0 none
    int32_t rowIcon;         // the row's state image (a RowIcon)
    int32_t elapsedMs;       // the time the elapsed column shows; -1 none yet
    int32_t speedLimit;      // the download's own speed limit in KB/s; 0 none
    int32_t changeRestarts;  // restarts of this run for a changed file
    bool responded;          // a response arrived: the received count shows, even 0
    // The run started without a file name: the name it is given goes into
    // the list file soon, not only at exit.
    bool nameUnsaved;
    // fileName, entityTag and folder have buffers of their full size that
    // are written in place (PrepareItemRun): a job's thread may use them.
    bool runBuffers;
};

// Reads and writes size or downloaded of an item whose job may be running:
// each moves all 64 bits in one piece, also in the 32-bit program, so the
// other thread never sees half of an old and half of a new value.
int64_t ItemCount(const int64_t& field);
void SetItemCount(int64_t& field, int64_t value);
// The expected checksum of an item whose job may be checking its file right
// then: the GUI thread sets it (stored form, or empty) and the job's thread
// reads it through these; the GUI thread may also read it directly.
// SetItemChecksum returns 0, or 2 when memory is exhausted (the item keeps
// its checksum).
int SetItemChecksum(DownloadItem* item, const char* stored);
void CopyItemChecksum(const DownloadItem* item, char* out, size_t capacity);
// How the item's file last compared with its checksum (a ChecksumResult):
// from the check itself, or from the failure it left when only that is
// known (a list read after a restart).
int32_t ItemChecksumResult(const DownloadItem* item);
// Adds to downloaded from any of a download's connections at once.
void AddItemCount(int64_t& field, int64_t count);
// The item's texts, each cut to its kItem...Size - 1 bytes (null counts as
// empty). Return 0, or 2 when memory is exhausted (the item keeps the old
// text). The checksum goes through SetItemChecksum, the URL and referrer
// through SetItemUrl and SetItemReferrer.
int SetItemFileName(DownloadItem* item, const char* name);
int SetItemFolder(DownloadItem* item, const char* folder);
int SetItemUser(DownloadItem* item, const char* user);
int SetItemPassword(DownloadItem* item, const char* password);
int SetItemEntityTag(DownloadItem* item, const char* entityTag);
// Before a job runs for the item: gives it its rate meter and the buffers
// the job's thread writes (see runBuffers). Returns false when memory is
// exhausted.
bool PrepareItemRun(DownloadItem* item);
// From the job's thread when the server's answer arrives: the file's name
// and ETag, written into the buffers PrepareItemRun gave.
void SetRunningItemFile(DownloadItem* item, const char* fileName, const char* entityTag);
// Replaces the item's segment text (null or empty: none). Returns 0, or 2
// when memory is exhausted (the item then has none).
int SetItemSegments(DownloadItem* item, const char* text);

// Binds the list to the window that receives its messages and to the list
// control that shows it; deletes every row and resets the row counter.
void AttachDownloadList(HWND mainWindow, HWND listControl);
// Forgets the window handles and the host callback (after ClearList).
void DetachDownloadList();
// Callback that receives the download-completed notice.
void SetListHostCallback(HostCallback callback, void* context);
// User agent of every job and header of written list files (string 2).
void SetListProductString(const char* product);
const char* ListProductString();
// Called with each item just before it is freed (an open properties sheet
// for it must close); null to remove.
void SetItemRemovalObserver(void (*observer)(DownloadItem* item));
// Called when a run ends complete or failed, with the item still whole (just
// before a completed one leaves the list); null to remove.
void SetRunEndObserver(void (*observer)(const DownloadItem* item, bool failed));

// New item with the default folder and login, not yet in the list; null when
// memory is exhausted. Append it (or free it) before making another one.
DownloadItem* NewItem();
// Frees an item that was never appended (for example one whose URL was refused).
void FreeItem(DownloadItem* item);
// Gives the item a copy of url. Returns 0; 1 when url is longer than
// kUrlTextMax (refused, never cut); 2 when memory is exhausted. The item
// keeps its URL when it fails.
int SetItemUrl(DownloadItem* item, const char* url);
// Gives the item a copy of referrer, cut to kItemReferrerSize - 1 bytes.
// Returns 0, or 2 when memory is exhausted (the item keeps its referrer).
int SetItemReferrer(DownloadItem* item, const char* referrer);
// Links the item at the end of the chain and shows it as a new row. Returns
// 0, or 1 when the row could not be inserted (the item stays in the chain).
int AppendItem(DownloadItem* item);
// Appends a Waiting item for the http or https URL on the first line of text.
// Returns 0, 1 (not such a URL), 2 (out of memory), 3 (longer than
// kUrlTextMax). referrer, user and password may be null.
int AddUrl(const char* text, const char* referrer, const char* user, const char* password);
// Releases the item's job, unlinks it, deletes its row and frees it; does not
// renumber the rows after it.
void RemoveItem(int row, DownloadItem* item);
// Gives every row its index again. Returns 0, or 2 when a row failed.
int RenumberRows();
// Stops every job, frees every item and deletes every row.
void ClearList();

// Commands on the selected rows. Start and Pause return 0, or 2 when a
// selected row's item could not be read; Delete returns 0, or 2 when the
// renumbering afterwards failed.
int StartSelected();
int PauseSelected();
int DeleteSelected();

// Rows selected in the list control, in row order: the first after row
// `after` (-1 for the first of all), or -1 when there is none.
int NextSelectedRow(int after);
// Stops the item's job and makes it Waiting with nothing received: its next
// start fetches the whole file again and replaces what is on disk.
void ResetItemToStart(int row, DownloadItem* item);
// The options' speed limit and connection limit, for every download.
void ApplyTransferLimits();
// The item's own speed limit in KB/s (0 none); a running download follows
// it at once.
void SetItemSpeedLimit(DownloadItem* item, int32_t kilobytesPerSecond);

// One scheduling pass: starts Waiting items in list order up to the limit.
void RunScheduler();
// Starts the Waiting item of a row. Returns 0 (started or nothing to do),
// 1 (no memory for a job), 2 (the job could not be prepared), 3 (it could not
// be started; the item is then Failed).
int StartItem(int row);

// Handles WM_ITEM_FINISHED to WM_ITEM_TICK and WM_ADD_URL. Returns true when
// the message was one of them.
bool HandleListMessage(UINT message, WPARAM wParam, LPARAM lParam);
// Answers the list control's requests for row texts, images and the row a typed file name begins (the window that hosts it forwards its
// WM_NOTIFY, and returns *result). Returns true when the notification was
// one of them.
bool HandleListNotify(NMHDR* header, LRESULT* result);
// The text a cell shows; "" for a column without one.
void FormatCell(const DownloadItem* item, int column, char* out, size_t capacity);
// The status column's text: the state in words, and why a download failed.
void FormatItemStatus(const DownloadItem* item, char* out, size_t capacity);
// Why the item's download failed, in words; false (and "") when it did not.
bool FormatFailureReason(const DownloadItem* item, char* out, size_t capacity);
// The row's tooltip: its status when that tells why the download failed;
// false (and "") for a row without a reason.
bool FormatRowTip(const DownloadItem* item, char* out, size_t capacity);

// Access for the window, the sheets and the list files.
// The window that receives the list's messages (the main window), or null.
HWND ListWindow();
// Hands a notice to the host callback, when one is set.
void NotifyListHost(const HostNotice& notice);
DownloadItem* FirstListItem();
DownloadItem* LastListItem();
int ListRowCounter();
HWND ListControl();
// The item that row shows, or null when the row cannot be read.
DownloadItem* ItemOfRow(int row);
void SetRowIcon(int row, int icon);
// Draws the row again from its item (its texts are read when drawn).
void RedrawRow(int row);
// The title bar's count and overall percentage of running downloads; at
// most every half second unless now is true.
void ShowOverallProgress(bool now);

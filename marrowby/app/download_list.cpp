// The chain of download items and the rows of the list control that show it.
#include "marrowby/app/download_list_internal.h"

#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

#include "marrowby/app/file_checksum.h"
#include "marrowby/app/settings.h"
#include "common/bounded_text.h"
#include "marrowby/engine/decimal.h"
#include "marrowby/engine/download_job.h"
#include "marrowby/engine/file_name_claims.h"
#include "marrowby/engine/path_helpers.h"
#include "marrowby/engine/segment_files.h"
#include "common/text_helpers.h"
#include "marrowby/engine/url.h"

namespace {

// Every empty text of every item; never freed.
const char kNoText[] = "";

void FreeText(const char*& text)
{
    if (text != kNoText) free(const_cast<char*>(text));
    text = kNoText;
}

// A heap copy of at most the first limit bytes of text (null counts as
// empty), or kNoText for an empty one; null when memory is exhausted.
const char* CopyText(const char* text, size_t limit)
{
    size_t length = 0;
    if (text != nullptr) {
        while (length < limit && text[length] != '\0') ++length;
    }
    if (length == 0) return kNoText;
    char* copy = static_cast<char*>(malloc(length + 1));
    if (copy == nullptr) return nullptr;
    memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

// Replaces field with a copy of text cut to capacity - 1 bytes. Returns 0,
// or 2 when memory is exhausted (field stays).
int ReplaceText(const char*& field, const char* text, size_t capacity)
{
    const char* copy = CopyText(text, capacity - 1);
    if (copy == nullptr) return 2;
    FreeText(field);
    field = copy;
    return 0;
}

// A text a job's thread may use is written in place into its full-size
// buffer: it never moves under that thread.
int ReplaceRunText(const DownloadItem* item, const char*& field, const char* text, size_t capacity)
{
    if (!item->runBuffers) return ReplaceText(field, text, capacity);
    mw_text::Copy(const_cast<char*>(field), capacity, text);
    return 0;
}

// Moves field into a buffer of its full capacity. Returns false when memory
// is exhausted (field stays).
bool WidenText(const char*& field, size_t capacity)
{
    char* buffer = static_cast<char*>(malloc(capacity));
    if (buffer == nullptr) return false;
    mw_text::Copy(buffer, capacity, field);
    FreeText(field);
    field = buffer;
    return true;
}

void FreeTexts(DownloadItem* item)
{
    FreeText(item->url);
    FreeText(item->referrer);
    FreeText(item->fileName);
    FreeText(item->folder);
    FreeText(item->user);
    FreeText(item->password);
    FreeText(item->checksum);
    FreeText(item->entityTag);
}

// Everything that must happen before an item's memory goes back.
void DisposeItem(DownloadItem* item)
{
    DownloadListState& list = ListState();
    if (list.removalObserver != nullptr) list.removalObserver(item);
    ReleaseJob(item);
    ReleaseFileName(item);
    if (item->runTicket != 0) list.runs.erase(item->runTicket);
    FreeTexts(item);
    free(item->segments);
    free(item->rate);
    free(item);
}

int RowIconOfState(ItemState state)
{
    if (state == ItemState::Completed) return kIconCompleted;
    if (state == ItemState::Paused) return kIconPaused;
    return kIconWaiting;
}

// Takes the item out of the chain; its row stays.
void UnlinkItem(DownloadItem* item)
{
    DownloadListState& list = ListState();
    if (item->prev != nullptr) item->prev->next = item->next;
    if (item->next != nullptr) item->next->prev = item->prev;
    if (list.first == item) list.first = item->next;
    if (list.last == item) list.last = item->prev;
}

}  // namespace

int NextSelectedRow(int after)
{
    return static_cast<int>(SendMessageA(ListState().listControl, LVM_GETNEXTITEM, static_cast<WPARAM>(after),
                                         MAKELPARAM(LVNI_SELECTED, 0)));
}

DownloadListState& ListState()
{
    static DownloadListState state;
    return state;
}

void AttachDownloadList(HWND mainWindow, HWND listControl)
{
    DownloadListState& list = ListState();
    list.window = mainWindow;
    list.listControl = listControl;
    list.rows.clear();
    list.redrawHeld = false;
    SendMessageA(listControl, LVM_SETITEMCOUNT, 0, 0);
    list.nextRow = 0;
}

void DetachDownloadList()
{
    DownloadListState& list = ListState();
    list.window = nullptr;
    list.listControl = nullptr;
    list.callback = nullptr;
    list.context = nullptr;
}

void SetListHostCallback(HostCallback callback, void* context)
{
    ListState().callback = callback;
    ListState().context = context;
}

void SetListProductString(const char* product)
{
    mw_text::Copy(ListState().product, product);
}

const char* ListProductString()
{
    return ListState().product;
}

void SetItemRemovalObserver(void (*observer)(DownloadItem* item))
{
    ListState().removalObserver = observer;
}

void SetRunEndObserver(void (*observer)(const DownloadItem* item, bool failed))
{
    ListState().runEndObserver = observer;
}

void ReportRunEnd(const DownloadItem* item, bool failed)
{
    if (ListState().runEndObserver != nullptr) ListState().runEndObserver(item, failed);
}

HWND ListWindow()
{
    return ListState().window;
}

void NotifyListHost(const HostNotice& notice)
{
    DownloadListState& list = ListState();
    if (list.callback != nullptr) list.callback(&notice, list.context);
}

DownloadItem* FirstListItem()
{
    return ListState().first;
}
DownloadItem* LastListItem()
{
    return ListState().last;
}
int ListRowCounter()
{
    return ListState().nextRow;
}
HWND ListControl()
{
    return ListState().listControl;
}

void ReleaseJob(DownloadItem* item)
{
    if (item->job == nullptr) return;
    item->job->Stop();  // waits for the worker: no report follows
    // The segments of a download whose files are not merged yet go on
    // where they stopped.
    char segments[kSegmentPlanTextMax];
    bool unfinished = item->job->SegmentPlanText(segments, sizeof(segments));
    SetItemSegments(item, unfinished ? segments : nullptr);
    delete item->job;
    item->job = nullptr;
}

int SetItemSegments(DownloadItem* item, const char* text)
{
    free(item->segments);
    item->segments = nullptr;
    if (text == nullptr || text[0] == '\0') return 0;
    size_t length = strlen(text);
    item->segments = static_cast<char*>(malloc(length + 1));
    if (item->segments == nullptr) return 2;
    memcpy(item->segments, text, length + 1);
    return 0;
}

void BeginRun(DownloadItem* item)
{
    DownloadListState& list = ListState();
    if (item->runTicket != 0) list.runs.erase(item->runTicket);
    if (++list.lastTicket == 0) ++list.lastTicket;  // 0 means "no run"
    item->runTicket = list.lastTicket;
    list.runs[item->runTicket] = item;
}

DownloadItem* ItemOfTicket(uint32_t ticket)
{
    DownloadListState& list = ListState();
    auto found = list.runs.find(ticket);
    return found == list.runs.end() ? nullptr : found->second;
}

DownloadItem* ItemOfRow(int row)
{
    const std::vector<DownloadItem*>& rows = ListState().rows;
    if (row < 0 || static_cast<size_t>(row) >= rows.size()) return nullptr;
    return rows[static_cast<size_t>(row)];
}

void SetRowIcon(int row, int icon)
{
    DownloadItem* item = ItemOfRow(row);
    if (item == nullptr) return;
    item->rowIcon = icon;
    RedrawRow(row);
}

void RedrawRow(int row)
{
    DownloadListState& list = ListState();
    if (list.redrawHeld || list.listControl == nullptr) return;
    SendMessageA(list.listControl, LVM_REDRAWITEMS, static_cast<WPARAM>(row), static_cast<LPARAM>(row));
}

void SyncRowCount()
{
    DownloadListState& list = ListState();
    list.nextRow = static_cast<int32_t>(list.rows.size());
    SendMessageA(list.listControl, LVM_SETITEMCOUNT, list.rows.size(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void EndItemRun(DownloadItem* item, int row, ItemState state, int icon)
{
    item->state = state;
    ReleaseJob(item);
    SetRowIcon(row, icon);
    ShowOverallProgress(true);
}

void SeparatedItemFolder(const DownloadItem* item, char* out, size_t capacity)
{
    mw_text::Copy(out, capacity, item->folder);
    if (out[0] != '\0') AppendFolderSeparator(out, capacity);
}

void SetListRedraw(bool draw)
{
    DownloadListState& list = ListState();
    list.redrawHeld = !draw;
    SendMessageA(list.listControl, WM_SETREDRAW, draw ? TRUE : FALSE, 0);
    if (!draw) return;
    SyncRowCount();
    InvalidateRect(list.listControl, nullptr, TRUE);
}

int64_t ItemCount(const int64_t& field)
{
    // A compare-exchange that never changes the value is an atomic read.
    volatile LONG64* shared = reinterpret_cast<volatile LONG64*>(const_cast<int64_t*>(&field));
    return InterlockedCompareExchange64(shared, 0, 0);
}

void SetItemCount(int64_t& field, int64_t value)
{
    InterlockedExchange64(reinterpret_cast<volatile LONG64*>(&field), value);
}

namespace {

// Guards every item's checksum text between a sheet that edits it and a job
// that checks its file against it; held only while the text is copied.
SRWLOCK g_checksumLock = SRWLOCK_INIT;

}  // namespace

int SetItemChecksum(DownloadItem* item, const char* stored)
{
    const char* copy = CopyText(stored, kChecksumTextSize - 1);
    if (copy == nullptr) return 2;
    AcquireSRWLockExclusive(&g_checksumLock);
    const char* old = item->checksum;
    item->checksum = copy;
    ReleaseSRWLockExclusive(&g_checksumLock);
    FreeText(old);
    return 0;
}

void CopyItemChecksum(const DownloadItem* item, char* out, size_t capacity)
{
    AcquireSRWLockShared(&g_checksumLock);
    mw_text::Copy(out, capacity, item->checksum);
    ReleaseSRWLockShared(&g_checksumLock);
}

int32_t ItemChecksumResult(const DownloadItem* item)
{
    if (item->checksumResult != kChecksumUnchecked) return item->checksumResult;
    if (item->state != ItemState::Running && item->failure == JobFailureChecksum) return kChecksumMismatched;
    return kChecksumUnchecked;
}

void AddItemCount(int64_t& field, int64_t count)
{
    InterlockedExchangeAdd64(reinterpret_cast<volatile LONG64*>(&field), count);
}

DownloadItem* NewItem()
{
    DownloadItem* item = static_cast<DownloadItem*>(calloc(1, sizeof(DownloadItem)));
    if (item == nullptr) return nullptr;
    item->state = ItemState::Waiting;
    item->url = item->referrer = item->fileName = item->folder = kNoText;
    item->user = item->password = item->checksum = item->entityTag = kNoText;
    item->elapsedMs = -1;
    // The stored settings may hold bytes without a NUL: the copies stop at
    // the field's width.
    if (SetItemUser(item, g_settings.defaultUser) != 0 || SetItemPassword(item, g_settings.defaultPassword) != 0 ||
        SetItemFolder(item, g_settings.defaultFolder) != 0) {
        DisposeItem(item);
        return nullptr;
    }
    return item;
}

void FreeItem(DownloadItem* item)
{
    if (item != nullptr) DisposeItem(item);
}

int SetItemUrl(DownloadItem* item, const char* url)
{
    if (url == nullptr) url = "";
    if (strlen(url) > kUrlTextMax) return 1;
    return ReplaceText(item->url, url, kUrlTextMax + 1);
}

int SetItemReferrer(DownloadItem* item, const char* referrer)
{
    return ReplaceText(item->referrer, referrer, kItemReferrerSize);
}

int SetItemFileName(DownloadItem* item, const char* name)
{
    return ReplaceRunText(item, item->fileName, name, kItemFileNameSize);
}

int SetItemFolder(DownloadItem* item, const char* folder)
{
    return ReplaceRunText(item, item->folder, folder, kItemFolderSize);
}

int SetItemUser(DownloadItem* item, const char* user)
{
    return ReplaceText(item->user, user, kItemUserSize);
}

int SetItemPassword(DownloadItem* item, const char* password)
{
    return ReplaceText(item->password, password, kItemPasswordSize);
}

int SetItemEntityTag(DownloadItem* item, const char* entityTag)
{
    return ReplaceRunText(item, item->entityTag, entityTag, kItemEntityTagSize);
}

bool PrepareItemRun(DownloadItem* item)
{
    if (item->rate == nullptr) item->rate = static_cast<RateMeter*>(calloc(1, sizeof(RateMeter)));
    if (item->rate == nullptr) return false;
    if (item->runBuffers) return true;
    // Widened one by one: a text that could not be widened keeps its old
    // buffer, which is freed as usual.
    if (!WidenText(item->fileName, kItemFileNameSize) || !WidenText(item->entityTag, kItemEntityTagSize) ||
        !WidenText(item->folder, kItemFolderSize)) {
        return false;
    }
    item->runBuffers = true;
    return true;
}

void SetRunningItemFile(DownloadItem* item, const char* fileName, const char* entityTag)
{
    if (!item->runBuffers) return;
    mw_text::Copy(const_cast<char*>(item->fileName), kItemFileNameSize, fileName);
    mw_text::Copy(const_cast<char*>(item->entityTag), kItemEntityTagSize, entityTag);
}

int AppendItem(DownloadItem* item)
{
    DownloadListState& list = ListState();
    item->next = nullptr;
    item->prev = list.last;
    if (list.last != nullptr) {
        list.last->next = item;
    } else {
        list.first = item;
    }
    list.last = item;

    // Its file is its own: no other download may take that name.
    if (item->fileName[0] != '\0') HoldFileName(item, item->folder, item->fileName);
    item->rowIcon = RowIconOfState(item->state);
    item->row = static_cast<int32_t>(list.rows.size());
    list.rows.push_back(item);
    if (!list.redrawHeld) SyncRowCount();
    return 0;
}

// Only the first line of the text is the URL: dropped text may hold several
// lines, and a line end inside the URL would reach the request line and the
// list file.
int AddUrl(const char* text, const char* referrer, const char* user, const char* password)
{
    if (text == nullptr) return 1;
    size_t length = strcspn(text, "\r\n");
    if (length > kUrlTextMax) return 3;
    char url[kUrlTextMax + 1];
    mw_text::CopyN(url, text, length);
    UrlParts parts;
    ResetUrl(parts);
    if (ParseUrl(url, nullptr, parts) != 0 || !IsDownloadableScheme(parts.scheme)) return 1;
    DownloadItem* item = NewItem();
    if (item == nullptr) return 2;
    if (SetItemUrl(item, url) != 0) {
        FreeItem(item);
        return 2;
    }
    if (SetItemReferrer(item, referrer) != 0) {
        FreeItem(item);
        return 2;
    }
    // A login written into the URL wins, as a pair, over the given one.
    bool urlHasUser = parts.user[0] != '\0';
    int stored = 0;
    if (user != nullptr) stored |= SetItemUser(item, user);
    if (urlHasUser) stored |= SetItemUser(item, parts.user);
    if (password != nullptr) stored |= SetItemPassword(item, password);
    if (urlHasUser) stored |= SetItemPassword(item, parts.password);
    if (stored != 0) {
        FreeItem(item);
        return 2;
    }
    AppendItem(item);
    return 0;
}

// The list control moves the selection of the rows below with the row.
void RemoveItem(int row, DownloadItem* item)
{
    DownloadListState& list = ListState();
    ReleaseJob(item);
    UnlinkItem(item);
    if (ItemOfRow(row) == item) {
        list.rows.erase(list.rows.begin() + row);
        SendMessageA(list.listControl, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
    }
    DisposeItem(item);
}

int RenumberRows()
{
    DownloadListState& list = ListState();
    list.nextRow = static_cast<int32_t>(list.rows.size());
    for (size_t row = 0; row < list.rows.size(); ++row) list.rows[row]->row = static_cast<int32_t>(row);
    int count = static_cast<int>(SendMessageA(list.listControl, LVM_GETITEMCOUNT, 0, 0));
    return count == list.nextRow ? 0 : 2;
}

void ClearList()
{
    DownloadListState& list = ListState();
    // The chain also holds any item whose row could not be inserted.
    for (DownloadItem* item = list.first; item != nullptr;) {
        DownloadItem* next = item->next;
        DisposeItem(item);
        item = next;
    }
    list.rows.clear();
    SendMessageA(list.listControl, LVM_SETITEMCOUNT, 0, 0);
    list.nextRow = 0;
    list.first = list.last = nullptr;
    list.runs.clear();
}

int StartSelected()
{
    for (int row = NextSelectedRow(-1); row >= 0; row = NextSelectedRow(row)) {
        DownloadItem* item = ItemOfRow(row);
        if (item == nullptr) return 2;
        if (item->state == ItemState::Running) continue;
        item->state = ItemState::Waiting;
        SetRowIcon(row, kIconWaiting);
    }
    return 0;
}

void ResetItemToStart(int row, DownloadItem* item)
{
    ReleaseJob(item);
    SetItemCount(item->downloaded, 0);
    // Nothing of the old segments counts any more.
    SetItemSegments(item, nullptr);
    char folder[kItemFolderSize + 1];
    SeparatedItemFolder(item, folder, sizeof(folder));
    if (item->fileName[0] != '\0') DiscardSegmentFiles(folder, item->fileName);
    // What the server said of the old file must not judge the new one.
    SetItemEntityTag(item, nullptr);
    item->lastModified = 0;
    item->checksumResult = kChecksumUnchecked;
    item->failure = 0;
    item->state = ItemState::Waiting;
    SetRowIcon(row, kIconWaiting);
    RedrawRow(row);
}

int PauseSelected()
{
    for (int row = NextSelectedRow(-1); row >= 0; row = NextSelectedRow(row)) {
        DownloadItem* item = ItemOfRow(row);
        if (item == nullptr) return 2;
        EndItemRun(item, row, ItemState::Paused, kIconPaused);
    }
    return 0;
}

namespace {

// Sets the states in mask of a row (-1: of every row).
void SetRowState(int row, UINT state, UINT mask)
{
    LVITEMA lv = {};
    lv.stateMask = mask;
    lv.state = state;
    SendMessageA(ListState().listControl, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&lv));
}

}  // namespace

// Every selected item goes in one pass and the row count is set once: row
// by row, thousands of selected rows (Ctrl+A) would take minutes. The focus
// goes back to its row if that row stays.
int DeleteSelected()
{
    DownloadListState& list = ListState();
    HWND listControl = list.listControl;
    int focused = static_cast<int>(
        SendMessageA(listControl, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_FOCUSED, 0)));
    DownloadItem* keepFocus = nullptr;
    if (focused >= 0) {
        UINT state =
            static_cast<UINT>(SendMessageA(listControl, LVM_GETITEMSTATE, static_cast<WPARAM>(focused), LVIS_SELECTED));
        if ((state & LVIS_SELECTED) == 0) keepFocus = ItemOfRow(focused);
    }
    bool removed = false;
    for (int row = NextSelectedRow(-1); row >= 0; row = NextSelectedRow(row)) {
        DownloadItem* item = ItemOfRow(row);
        if (item == nullptr) break;
        ReleaseJob(item);
        UnlinkItem(item);
        DisposeItem(item);
        list.rows[static_cast<size_t>(row)] = nullptr;
        removed = true;
    }
    if (!removed) return 0;
    size_t kept = 0;
    for (DownloadItem* item : list.rows) {
        if (item != nullptr) list.rows[kept++] = item;
    }
    list.rows.resize(kept);
    // No row left is selected. An empty list drops every selection at once;
    // unselecting row by row would notify the window once a row.
    SendMessageA(listControl, LVM_SETITEMCOUNT, 0, 0);
    SyncRowCount();
    InvalidateRect(listControl, nullptr, TRUE);
    int result = RenumberRows() != 0 ? 2 : 0;
    if (keepFocus != nullptr) SetRowState(keepFocus->row, LVIS_FOCUSED, LVIS_FOCUSED);
    return result;
}

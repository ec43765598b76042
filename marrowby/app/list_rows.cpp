// The rows as the list control draws them: every text is made from the item
// when the control asks for it, so a row costs the control no memory and an
// update only invalidates the row that changed.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include "marrowby/app/download_list_internal.h"
#include "marrowby/app/failure_reason.h"
#include "marrowby/app/file_checksum.h"
#include "marrowby/app/transfer_rate.h"
#include "common/bounded_text.h"
#include "marrowby/engine/decimal.h"
#include "marrowby/resources/resource.h"

namespace {

constexpr size_t kStatusTextSize = 192;
constexpr size_t kTitleTextSize = 160;
constexpr uint32_t kTitleIntervalMs = 500;
// From the state and reason texts to the end of the later string ranges
// (reasons added there too), so no status text ever shows empty.
constexpr int kFirstCachedText = 2250;
constexpr int kCachedTexts = 500;
constexpr size_t kCachedTextSize = 128;

// Texts of the status columns, loaded once: rows ask for them on every paint.
const char* CachedText(int id)
{
    static char texts[kCachedTexts][kCachedTextSize];
    static bool loaded[kCachedTexts];
    int index = id - kFirstCachedText;
    if (index < 0 || index >= kCachedTexts) return "";
    if (!loaded[index]) {
        if (LoadStringA(GetModuleHandleA(nullptr), id, texts[index], kCachedTextSize) <= 0) texts[index][0] = '\0';
        loaded[index] = true;
    }
    return texts[index];
}

void FormatReason(const DownloadItem* item, char* out, size_t capacity)
{
    FailureReason reason = ReasonOfFailure(item->failure, item->failureDetail);
    const char* text = CachedText(reason.textId);
    if (reason.textId == IDS_REASON_HTTP_STATUS) {
        snprintf(out, capacity, text, static_cast<int>(reason.httpStatus), reason.phrase);
    } else {
        mw_text::Copy(out, capacity, text);
    }
}

int StateTextId(const DownloadItem* item)
{
    switch (item->state) {
    case ItemState::Completed:
        return item->checksumResult == kChecksumMatched ? IDS_STATE_CHECKSUM_MATCHED : IDS_STATE_COMPLETED;
    case ItemState::Paused: return IDS_STATE_PAUSED;
    case ItemState::Running: return item->rowIcon == kIconReceiving ? IDS_STATE_RECEIVING : IDS_STATE_CONNECTING;
    case ItemState::Failed: return IDS_STATE_FAILED;
    default: return IDS_STATE_WAITING;
    }
}

int64_t CurrentRate(const DownloadItem* item)
{
    if (item->state != ItemState::Running || !item->responded || item->rate == nullptr) return -1;
    return RatePerSecond(*item->rate, GetTickCount(), ItemCount(item->downloaded));
}

void FormatNumber(int64_t value, char* out, size_t capacity)
{
    char text[kDecimal64TextSize];
    mw_text::Copy(out, capacity, FormatDecimal64(value, text, sizeof(text)));
}

void AnswerDisplayInfo(NMLVDISPINFOA* request)
{
    LVITEMA& lv = request->item;
    DownloadItem* item = ItemOfRow(lv.iItem);
    if (item == nullptr) return;
    if ((lv.mask & LVIF_IMAGE) != 0) lv.iImage = item->rowIcon;
    if ((lv.mask & LVIF_TEXT) != 0 && lv.pszText != nullptr && lv.cchTextMax > 0) {
        FormatCell(item, lv.iSubItem, lv.pszText, static_cast<size_t>(lv.cchTextMax));
    }
}

// A running download has no reason yet; a completed one needs none.
bool HasReason(const DownloadItem* item)
{
    return item->state != ItemState::Running && item->state != ItemState::Completed && item->failure != 0;
}

bool NameMatches(const DownloadItem* item, const char* text, UINT flags)
{
    int length = lstrlenA(text);
    int nameLength = lstrlenA(item->fileName);
    // Typed letters match the beginning of a name, regardless of case.
    if ((flags & LVFI_PARTIAL) != 0) {
        if (nameLength < length) return false;
        nameLength = length;
    }
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, item->fileName, nameLength, text, length) == CSTR_EQUAL;
}

// The row from start on whose file name the typed text begins, going round
// to the top when flags say so; -1 none.
LRESULT FindRowByName(int start, const char* text, UINT flags)
{
    const std::vector<DownloadItem*>& rows = ListState().rows;
    if (text == nullptr || (flags & (LVFI_STRING | LVFI_PARTIAL)) == 0 || rows.empty()) return -1;
    size_t count = rows.size();
    size_t first = start >= 0 ? static_cast<size_t>(start) % count : 0;
    for (size_t step = 0; step < count; ++step) {
        size_t row = (first + step) % count;
        if (row < first && (flags & LVFI_WRAP) == 0) break;
        if (NameMatches(rows[row], text, flags)) return static_cast<LRESULT>(row);
    }
    return -1;
}

// The control may ask in UTF-16 even of an ANSI window; names are in the
// program's code page.
LRESULT FindRowByWideName(const NMLVFINDITEMW* request)
{
    if (request->lvfi.psz == nullptr) return -1;
    char text[kItemFileNameSize];
    if (WideCharToMultiByte(CP_ACP, 0, request->lvfi.psz, -1, text, sizeof(text), nullptr, nullptr) <= 0) return -1;
    return FindRowByName(request->iStart, text, request->lvfi.flags);
}

}  // namespace

void FormatItemStatus(const DownloadItem* item, char* out, size_t capacity)
{
    if (capacity == 0) return;
    mw_text::Copy(out, capacity, CachedText(StateTextId(item)));
    if (!HasReason(item)) return;
    char reason[kStatusTextSize];
    FormatReason(item, reason, sizeof(reason));
    mw_text::Append(out, capacity, ": ");
    mw_text::Append(out, capacity, reason);
}

bool FormatFailureReason(const DownloadItem* item, char* out, size_t capacity)
{
    if (capacity == 0) return false;
    out[0] = '\0';
    if (!HasReason(item)) return false;
    FormatReason(item, out, capacity);
    return true;
}

bool FormatRowTip(const DownloadItem* item, char* out, size_t capacity)
{
    if (capacity == 0) return false;
    out[0] = '\0';
    if (!HasReason(item)) return false;
    FormatItemStatus(item, out, capacity);
    return true;
}

void FormatCell(const DownloadItem* item, int column, char* out, size_t capacity)
{
    if (capacity == 0) return;
    out[0] = '\0';
    int64_t size = ItemCount(item->size);
    int64_t downloaded = ItemCount(item->downloaded);
    switch (column) {
    case kColumnFileName: mw_text::Copy(out, capacity, item->fileName); break;
    case kColumnSize:
        if (size > 0) FormatNumber(size, out, capacity);
        break;
    case kColumnDownloaded:
        if (downloaded > 0 || item->responded) FormatNumber(downloaded, out, capacity);
        break;
    case kColumnElapsed:
        if (item->elapsedMs >= 0) FormatElapsed(0, static_cast<uint32_t>(item->elapsedMs), out, capacity);
        break;
    case kColumnTries: FormatNumber(item->tries, out, capacity); break;
    case kColumnAddress: mw_text::Copy(out, capacity, item->url); break;
    case kColumnStatus: FormatItemStatus(item, out, capacity); break;
    case kColumnProgress: FormatPercent(downloaded, size, out, capacity); break;
    case kColumnSpeed: FormatRate(CurrentRate(item), out, capacity); break;
    case kColumnTimeLeft:
        if (size > 0) FormatSecondsLeft(SecondsLeft(size - downloaded, CurrentRate(item)), out, capacity);
        break;
    default: break;
    }
}

bool HandleListNotify(NMHDR* header, LRESULT* result)
{
    *result = 0;
    if (header == nullptr || header->hwndFrom != ListState().listControl) return false;
    switch (header->code) {
    case LVN_GETDISPINFOA: AnswerDisplayInfo(reinterpret_cast<NMLVDISPINFOA*>(header)); return true;
    case LVN_ODFINDITEMA: {
        const NMLVFINDITEMA* request = reinterpret_cast<NMLVFINDITEMA*>(header);
        *result = FindRowByName(request->iStart, request->lvfi.psz, request->lvfi.flags);
        return true;
    }
    case LVN_ODFINDITEMW: *result = FindRowByWideName(reinterpret_cast<NMLVFINDITEMW*>(header)); return true;
    default: return false;
    }
}

// Counts the running downloads through the live runs only: a list of
// 100,000 items is not walked twice a second.
void ShowOverallProgress(bool now)
{
    DownloadListState& list = ListState();
    uint32_t tick = GetTickCount();
    if (list.window == nullptr || (!now && tick - list.titleTick < kTitleIntervalMs)) return;
    list.titleTick = tick;
    int running = 0;
    int64_t done = 0;
    int64_t total = 0;
    for (const auto& run : list.runs) {
        const DownloadItem* item = run.second;
        if (item->state != ItemState::Running) continue;
        ++running;
        int64_t size = ItemCount(item->size);
        if (size <= 0) continue;
        done += ItemCount(item->downloaded);
        total += size;
    }
    char title[kTitleTextSize];
    if (running == 0) {
        if (LoadStringA(GetModuleHandleA(nullptr), IDS_APP_TITLE, title, sizeof(title)) <= 0) return;
    } else if (total > 0) {
        snprintf(title, sizeof(title), CachedText(IDS_TITLE_PROGRESS), running, PercentOf(done, total));
    } else {
        snprintf(title, sizeof(title), CachedText(IDS_TITLE_RUNNING), running);
    }
    char shown[kTitleTextSize];
    if (GetWindowTextA(list.window, shown, sizeof(shown)) > 0 && strcmp(shown, title) == 0) return;
    SetWindowTextA(list.window, title);
}

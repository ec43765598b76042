// Reading and writing list files (".wrg").
#include "marrowby/app/list_file.h"

#include <new>

#include <stdlib.h>
#include <string.h>

#include "common/atomic_file.h"
#include "marrowby/app/download_list_internal.h"
#include "marrowby/app/failure_reason.h"
#include "marrowby/app/folder_presence.h"
#include "marrowby/app/list_format.h"
#include "common/bounded_text.h"
#include "marrowby/engine/decimal.h"
#include "marrowby/engine/download_job.h"
#include "marrowby/engine/segment_files.h"
#include "marrowby/engine/segment_plan.h"

namespace {

constexpr UINT kListNoMemoryText = 3;

bool g_listFileRefused;

// A list file's whole content, as this program's code page reads it.
struct ListText {
    uint8_t* bytes;
    size_t length;
    bool mapped;  // bytes is a view of the file, not memory of the heap
};

enum ListTextLoad {
    kListTextLoaded = 0,
    kListTextMissing,     // cannot be opened (no file yet: an empty list)
    kListTextUnreadable,  // cannot be read, or UTF-16 that does not convert
    kListTextNoMemory,
};

// Lists beyond this are no lists this program wrote.
constexpr DWORD kListTextMax = 512u * 1024u * 1024u;

void FreeListText(ListText* text)
{
    if (text->mapped) {
        UnmapViewOfFile(text->bytes);
    } else {
        free(text->bytes);
    }
    text->bytes = nullptr;
    text->length = 0;
    text->mapped = false;
}

// UTF-16 as Notepad saves it, with its byte order mark, in the ANSI code
// page. Returns false when it does not convert (then nothing is kept).
bool ConvertUtf16(ListText* text)
{
    const bool bigEndian = text->bytes[0] == 0xFE;
    const size_t units = (text->length - 2) / 2;
    if ((text->length & 1) != 0 || units > 0x3FFFFFFF) return false;
    wchar_t* wide = static_cast<wchar_t*>(malloc((units + 1) * sizeof(wchar_t)));
    if (wide == nullptr) return false;
    for (size_t i = 0; i < units; ++i) {
        const uint8_t* unit = text->bytes + 2 + 2 * i;
        wide[i] = static_cast<wchar_t>(bigEndian ? (unit[0] << 8) | unit[1] : unit[0] | (unit[1] << 8));
    }
    int needed =
        units == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(units), nullptr, 0, nullptr, nullptr);
    uint8_t* ansi = static_cast<uint8_t*>(malloc(static_cast<size_t>(needed) + 1));
    bool converted = ansi != nullptr && (units == 0 || needed > 0);
    if (converted && needed > 0) {
        converted = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(units), reinterpret_cast<char*>(ansi), needed,
                                        nullptr, nullptr) == needed;
    }
    free(wide);
    if (!converted) {
        free(ansi);
        return false;
    }
    FreeListText(text);
    text->bytes = ansi;
    text->length = static_cast<size_t>(needed);
    return true;
}

// The file's bytes as a read-only view: the system fills it from its file
// cache in large steps, where a copy would first fault in every page of a
// buffer as large as the file. False when it cannot be mapped.
bool MapListText(HANDLE file, DWORD length, ListText* text)
{
    if (length == 0) return false;  // an empty file has no view
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) return false;
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, length);
    CloseHandle(mapping);  // the view keeps what it needs
    if (view == nullptr) return false;
    text->bytes = static_cast<uint8_t*>(view);
    text->length = length;
    text->mapped = true;
    return true;
}

int CopyListText(HANDLE file, DWORD length, ListText* text)
{
    text->bytes = static_cast<uint8_t*>(malloc(length + 1u));
    if (text->bytes == nullptr) return kListTextNoMemory;
    DWORD got = 0;
    BOOL read = ReadFile(file, text->bytes, length, &got, nullptr);
    text->length = got;
    return read && got == length ? kListTextLoaded : kListTextUnreadable;
}

int LoadListText(const char* path, ListText* text)
{
    text->bytes = nullptr;
    text->length = 0;
    text->mapped = false;
    HANDLE file = OpenListInput(path);
    if (file == INVALID_HANDLE_VALUE) return kListTextMissing;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart > kListTextMax) {
        CloseHandle(file);
        return kListTextUnreadable;
    }
    DWORD length = static_cast<DWORD>(size.QuadPart);
    int loaded = MapListText(file, length, text) ? kListTextLoaded : CopyListText(file, length, text);
    CloseHandle(file);
    if (loaded != kListTextLoaded) return loaded;
    bool utf16 = length >= 2 && ((text->bytes[0] == 0xFF && text->bytes[1] == 0xFE) ||
                                 (text->bytes[0] == 0xFE && text->bytes[1] == 0xFF));
    if (utf16 && !ConvertUtf16(text)) return kListTextUnreadable;
    return kListTextLoaded;
}

int WriteToAtomicFile(void* context, const uint8_t* data, size_t length)
{
    return WriteAtomicFile(static_cast<AtomicFile*>(context), data, length);
}

void ShowListNoMemory()
{
    char text[256];
    if (LoadStringA(GetModuleHandleA(nullptr), kListNoMemoryText, text, sizeof(text)) <= 0) {
        text[0] = '\0';
    }
    MessageBoxA(ListState().window, text, nullptr, MB_OK);
}

// The partly downloaded file named in the list gives the resume offset; its
// folder comes from "StoreIn", so only the base name is kept.
// A file the folder's listing shows counts at its listed size without being
// opened, also while another program holds it: it is then resumed (or found
// in use) rather than fetched again under another name.
void ApplyRealFileName(DownloadItem* item, const char* path, FolderPresence* presence)
{
    int64_t listedSize = 0;
    Listed listed = LookUpListed(presence, path, &listedSize);
    if (listed == Listed::kFile) {
        item->downloaded = listedSize;
        SetItemFileName(item, ListBaseName(path));
        return;
    }
    if (listed == Listed::kAbsent) {
        item->downloaded = 0;  // as the file that cannot be opened gives
        return;
    }
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        item->downloaded = 0;
        return;
    }
    LARGE_INTEGER size;
    item->downloaded = GetFileSizeEx(file, &size) ? size.QuadPart : 0;
    CloseHandle(file);
    SetItemFileName(item, ListBaseName(path));
}

// A checksum in any form a person may have typed into the file; one that
// is no checksum is dropped rather than failing every download.
void ApplyChecksum(DownloadItem* item, const char* value)
{
    char stored[kChecksumTextSize];
    StoreChecksumText(value, stored, sizeof(stored));
    SetItemChecksum(item, stored);
}

// The segments' progress, when the side file is there at the size they
// were planned for: the named file (its size is downloaded by now) holds
// the head segment's bytes, the side file the others', so the bytes present
// are the head's as far as its file reaches and the rest's.
void ApplySegments(DownloadItem* item, const char* value)
{
    SegmentPlan plan;
    if (item->size <= 0 || item->downloaded > item->size || !ParseSegmentPlan(value, item->size, plan)) return;
    char side[kSegmentPathCapacity];
    char folder[kItemFolderSize + 1];
    SeparatedItemFolder(item, folder, sizeof(folder));
    SegmentFilePath(side, sizeof(side), folder, item->fileName, kSideFileSuffix);
    if (FileSizeAt(side) != item->size || SetItemSegments(item, value) != 0) return;
    TrustSegmentBytes(plan, item->downloaded, true);
    item->downloaded = WrittenBytes(plan);
}

// Applies one setting to the current item. Returns true when it ended the
// record (the item was appended).
bool ApplySetting(DownloadItem* item, const char* key, const char* value, FolderPresence* presence)
{
    switch (MatchListKey(key)) {
    case kListKeyReferer: SetItemReferrer(item, value); break;
    case kListKeyStoreIn: SetItemFolder(item, value); break;
    case kListKeyRemoteFileSize: item->size = ParseListNumber(value); break;
    case kListKeyState: item->state = static_cast<ItemState>(ParseListState(value)); break;
    case kListKeyRealFileName: ApplyRealFileName(item, value, presence); break;
    case kListKeyChecksum: ApplyChecksum(item, value); break;
    case kListKeyEntityTag: SetItemEntityTag(item, value); break;
    case kListKeyLastModified: item->lastModified = ParseDecimal(value); break;
    case kListKeyFailure: ParseStoredFailure(value, &item->failure, &item->failureDetail); break;
    case kListKeySegments: ApplySegments(item, value); break;
    case kListKeySpeedLimit: item->speedLimit = ParseDecimal(value) > 0 ? ParseDecimal(value) : 0; break;
    case kListKeyUrl:
        // Checked before: no line of a list that is read holds a longer URL.
        SetItemUrl(item, value);
        AppendItem(item);
        return true;
    default: break;
    }
    return false;
}

void ReadRecords(LineSource* source, DownloadItem* item)
{
    FolderPresence presence;
    char line[kListLineSize];
    while (ReadLinePiece(source, line, sizeof(line))) {
        char* key = nullptr;
        char* value = nullptr;
        if (SplitSetting(line, &key, &value) != 0) continue;
        if (!ApplySetting(item, key, value, &presence)) continue;
        item = NewItem();
        if (item == nullptr) return;  // the records read so far stay
    }
    FreeItem(item);  // settings after the last "Url" make no record
}

// The folder with exactly one trailing backslash; the item keeps it too when
// it fits, so the next save writes "StoreIn" with it.
void SeparatedFolder(DownloadItem* item, char* out, size_t capacity)
{
    SeparatedItemFolder(item, out, capacity);
    if (out[0] != '\0' && strlen(out) < kItemFolderSize && strcmp(out, item->folder) != 0) SetItemFolder(item, out);
}

void WriteRecords(ListWriter* writer)
{
    for (DownloadItem* item = FirstListItem(); item != nullptr; item = item->next) {
        char storeIn[kItemFolderSize];
        mw_text::Copy(storeIn, item->folder);
        char realFolder[kItemFolderSize + 2] = "";
        if (item->fileName[0] != '\0') SeparatedFolder(item, realFolder, sizeof(realFolder));
        int32_t state = item->state == ItemState::Completed ? 1 : item->state == ItemState::Paused ? 2 : 0;
        char failure[kStoredFailureSize];
        FormatStoredFailure(item->failure, item->failureDetail, failure, sizeof(failure));
        // A running download's segments as they stand now, until its files
        // are merged.
        char segments[kSegmentPlanTextMax] = "";
        if (item->job != nullptr) {
            item->job->SegmentPlanText(segments, sizeof(segments));
        } else if (item->segments != nullptr) {
            mw_text::Copy(segments, item->segments);
        }
        ListRecordOut record = {item->referrer, storeIn,   ItemCount(item->size), state,           realFolder,
                                item->fileName, item->url, item->checksum,        item->entityTag, item->lastModified,
                                failure,        segments,  item->speedLimit};
        WriteListRecord(writer, record);
    }
}

}  // namespace

HANDLE OpenListInput(const char* path)
{
    if (path == nullptr || path[0] == '\0') return INVALID_HANDLE_VALUE;
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

size_t ReadListInput(void* context, uint8_t* buffer, size_t capacity)
{
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(context), buffer, static_cast<DWORD>(capacity), &got, nullptr)) {
        return 0;
    }
    return got;
}

bool ListFileRefused()
{
    return g_listFileRefused;
}

void SetListFileRefused(bool refused)
{
    g_listFileRefused = refused;
}

int ReadListFile(const char* path)
{
    ListText text;
    int loaded = LoadListText(path, &text);
    if (loaded == kListTextMissing) return 1;
    if (loaded == kListTextNoMemory) {
        ShowListNoMemory();
        return 0;
    }
    if (loaded != kListTextLoaded || CheckListText(text.bytes, text.length) != kListTextReadable) {
        FreeListText(&text);
        return 2;
    }
    DownloadItem* item = NewItem();
    LineSource* source = item != nullptr ? new (std::nothrow) LineSource : nullptr;
    if (source == nullptr) {
        FreeItem(item);
        FreeListText(&text);
        ShowListNoMemory();
        return 0;
    }
    MemoryInput input = {text.bytes, text.length, 0};
    InitLineSource(source, ReadMemoryInput, &input);
    SetListRedraw(false);
    ReadRecords(source, item);
    SetListRedraw(true);
    delete source;
    FreeListText(&text);
    return 0;
}

bool FileIsNotAList(const char* path)
{
    ListText text;
    int loaded = LoadListText(path, &text);
    bool notAList = loaded == kListTextUnreadable ||
                    (loaded == kListTextLoaded && CheckListText(text.bytes, text.length) != kListTextReadable);
    FreeListText(&text);
    return notAList;
}

int WriteListFile(const char* path)
{
    if (path == nullptr || path[0] == '\0') return 1;
    ListWriter* writer = new (std::nothrow) ListWriter;
    if (writer == nullptr) return 1;
    AtomicFile file;
    if (BeginAtomicFile(&file, path) != 0) {
        delete writer;
        return 1;
    }
    InitListWriter(writer, WriteToAtomicFile, &file);
    WriteListHeader(writer, ListProductString());
    WriteRecords(writer);
    FlushListWriter(writer);  // a failed write is remembered by the file
    delete writer;
    return CommitAtomicFile(&file) == 0 ? 0 : 1;
}

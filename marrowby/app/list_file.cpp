// Reading and writing list files (".wrg").
#include "marrowby/app/list_file.h"

#include <new>

#include <string.h>

#include "common/atomic_file.h"
#include "marrowby/app/download_list_internal.h"
#include "marrowby/app/list_format.h"
#include "common/bounded_text.h"
#include "marrowby/engine/decimal.h"

namespace {

constexpr UINT kListNoMemoryText = 3;

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
void ApplyRealFileName(DownloadItem* item, const char* path)
{
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        item->downloaded = 0;
        return;
    }
    LARGE_INTEGER size;
    item->downloaded = GetFileSizeEx(file, &size) ? size.QuadPart : 0;
    CloseHandle(file);
    mw_text::Copy(item->fileName, ListBaseName(path));
}

// A checksum in any form a person may have typed into the file; one that
// is no checksum is dropped rather than failing every download.
void ApplyChecksum(DownloadItem* item, const char* value)
{
    Checksum checksum;
    if (ParseChecksum(value, &checksum) == kChecksumParsed)
        FormatChecksum(checksum, item->checksum, sizeof(item->checksum));
}

// Applies one setting to the current item. Returns true when it ended the
// record (the item was appended).
bool ApplySetting(DownloadItem* item, const char* key, const char* value)
{
    switch (MatchListKey(key)) {
    case kListKeyReferer: mw_text::Copy(item->referrer, value); break;
    case kListKeyStoreIn: mw_text::Copy(item->folder, value); break;
    case kListKeyRemoteFileSize: item->size = ParseListNumber(value); break;
    case kListKeyState: item->state = static_cast<ItemState>(ParseListState(value)); break;
    case kListKeyRealFileName: ApplyRealFileName(item, value); break;
    case kListKeyChecksum: ApplyChecksum(item, value); break;
    case kListKeyEntityTag: mw_text::Copy(item->entityTag, value); break;
    case kListKeyLastModified: item->lastModified = ParseDecimal(value); break;
    case kListKeyUrl:
        mw_text::Copy(item->url, value);
        AppendItem(item);
        return true;
    default: break;
    }
    return false;
}

void ReadRecords(LineSource* source, DownloadItem* item)
{
    char line[kListLineSize];
    while (ReadLinePiece(source, line, sizeof(line))) {
        char* key = nullptr;
        char* value = nullptr;
        if (SplitSetting(line, &key, &value) != 0) continue;
        if (!ApplySetting(item, key, value)) continue;
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
    if (out[0] != '\0' && strlen(out) < sizeof(item->folder)) mw_text::Copy(item->folder, out);
}

void WriteRecords(ListWriter* writer)
{
    for (DownloadItem* item = FirstListItem(); item != nullptr; item = item->next) {
        char storeIn[kItemFolderSize];
        mw_text::Copy(storeIn, item->folder);
        char realFolder[kItemFolderSize + 2] = "";
        if (item->fileName[0] != '\0') SeparatedFolder(item, realFolder, sizeof(realFolder));
        int32_t state = item->state == ItemState::Completed ? 1 : item->state == ItemState::Paused ? 2 : 0;
        ListRecordOut record = {item->referrer, storeIn,   ItemCount(item->size), state,           realFolder,
                                item->fileName, item->url, item->checksum,        item->entityTag, item->lastModified};
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

int ReadListFile(const char* path)
{
    HANDLE file = OpenListInput(path);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DownloadItem* item = NewItem();
    LineSource* source = item != nullptr ? new (std::nothrow) LineSource : nullptr;
    if (source == nullptr) {
        FreeItem(item);
        CloseHandle(file);
        ShowListNoMemory();
        return 0;
    }
    InitLineSource(source, ReadListInput, file);
    SetListRedraw(false);
    ReadRecords(source, item);
    SetListRedraw(true);
    delete source;
    CloseHandle(file);
    return 0;
}

bool FileIsNotAList(const char* path)
{
    HANDLE file = OpenListInput(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    LineSource* source = new (std::nothrow) LineSource;
    bool notAList = false;
    if (source != nullptr) {
        InitLineSource(source, ReadListInput, file);
        notAList = !LooksLikeListFile(source);
        delete source;
    }
    CloseHandle(file);
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

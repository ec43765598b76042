#include "tidewell/updater/info_file.h"

#include <cstdlib>

#include "common/bounded_text.h"

namespace {

// The first file (not folder) the search returns.
bool FindInformationFile(char (&name)[kFolderSize])
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("*.qvn", &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool any = false;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            mw_text::Copy(name, found.cFileName);
            any = true;
        }
    } while (!any && FindNextFileA(search, &found));
    FindClose(search);
    return any;
}

// The whole file in a heap buffer, or nullptr.
uint8_t* ReadWholeFile(HANDLE file, uint32_t* size)
{
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0 || low == 0) return nullptr;
    uint8_t* bytes = static_cast<uint8_t*>(std::malloc(low));
    if (!bytes) return nullptr;
    DWORD read = 0;
    if (!ReadFile(file, bytes, low, &read, nullptr) || read != low) {
        std::free(bytes);
        return nullptr;
    }
    *size = low;
    return bytes;
}

}  // namespace

InfoFileResult LoadInformationFile(UpdaterContext* context)
{
    if (!FindInformationFile(context->infoFileName)) return kInfoFileAbsent;
    HANDLE file = CreateFileA(context->infoFileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        context->infoFileName[0] = '\0';
        return kInfoFileAbsent;
    }
    uint32_t size = 0;
    uint8_t* bytes = ReadWholeFile(file, &size);
    CloseHandle(file);
    if (!bytes) return kInfoFileUnreadable;
    context->installedRecord = bytes;
    context->installedSize = size;
    return RecordHasMagic(InstalledRecord(*context)) ? kInfoFileLoaded : kInfoFileWrongMagic;
}

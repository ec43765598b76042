#include "marrowby/app/folder_presence.h"

#include <windows.h>

#include <string.h>
#include <wchar.h>

#include "marrowby/app/list_format.h"

namespace {

std::string FoldedName(const char* name)
{
    std::string folded = name;
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

// Names whose absence a listing can tell: plain ASCII, no short-name form,
// none that the system trims (a trailing dot or space) and none that may
// name a device ("nul.txt" opens the device).
bool ListingDecides(const char* name)
{
    size_t length = strlen(name);
    if (length == 0 || name[length - 1] == '.' || name[length - 1] == ' ') return false;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c >= 0x80 || c == '~') return false;
    }
    static const char* const kDevices[] = {"con", "prn", "aux", "nul", "com", "lpt"};
    std::string start = FoldedName(name).substr(0, 3);
    for (const char* device : kDevices) {
        if (start == device) return false;
    }
    return true;
}

// The name as an ASCII name that equals it regardless of case would be
// folded; empty when no ASCII name can equal it (some other letters, such
// as a dotless i, compare equal to ASCII ones).
std::string FoldedWideName(const wchar_t* name)
{
    wchar_t upper[MAX_PATH];
    size_t length = wcslen(name);
    if (length == 0 || length >= MAX_PATH) return std::string();
    wmemcpy(upper, name, length + 1);
    CharUpperBuffW(upper, static_cast<DWORD>(length));
    std::string folded;
    for (size_t i = 0; i < length; ++i) {
        if (upper[i] >= 0x80) return std::string();
        char c = static_cast<char>(upper[i]);
        folded += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return folded;
}

void NoteFileSize(FolderNames* names, const std::string& folded, const WIN32_FIND_DATAW& entry)
{
    int64_t size = (static_cast<int64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    auto added = names->fileSizes.emplace(folded, size);
    if (!added.second) added.first->second = -1;  // "a.bin" beside "A.BIN": open to learn which
}

// Every long and short name in the folder; complete stays false when the
// listing broke off.
void ListFolder(const std::string& folder, FolderNames* names)
{
    names->listed = true;
    wchar_t pattern[MAX_PATH + 2];
    int converted = MultiByteToWideChar(CP_ACP, 0, (folder + "*").c_str(), -1, pattern, MAX_PATH + 2);
    if (converted <= 0) return;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE) {
        // Only a folder that is not there, or holds nothing, says that none
        // of its files is.
        DWORD error = GetLastError();
        names->complete = error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND;
        return;
    }
    do {
        std::string folded = FoldedWideName(entry.cFileName);
        names->names.insert(folded);
        names->names.insert(FoldedWideName(entry.cAlternateFileName));
        if (!folded.empty() && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            NoteFileSize(names, folded, entry);
    } while (FindNextFileW(find, &entry));
    names->complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(find);
}

// The listing of the path's folder once it is asked about often enough;
// null when the listing cannot decide for this name.
const FolderNames* ListingFor(FolderPresence* presence, const char* path, const char** name)
{
    *name = ListBaseName(path);
    if (*name == path || ((*name)[-1] != '\\' && (*name)[-1] != '/') || !ListingDecides(*name)) return nullptr;
    FolderNames& folder = presence->folders[std::string(path, static_cast<size_t>(*name - path))];
    if (!folder.listed && ++folder.lookups > kFolderListingThreshold) {
        ListFolder(std::string(path, static_cast<size_t>(*name - path)), &folder);
    }
    return folder.listed && folder.complete ? &folder : nullptr;
}

}  // namespace

Listed LookUpListed(FolderPresence* presence, const char* path, int64_t* size)
{
    const char* name = nullptr;
    const FolderNames* folder = ListingFor(presence, path, &name);
    if (folder == nullptr) return Listed::kUnknown;
    std::string folded = FoldedName(name);
    auto found = folder->fileSizes.find(folded);
    if (found != folder->fileSizes.end() && found->second >= 0) {
        *size = found->second;
        return Listed::kFile;
    }
    return folder->names.count(folded) != 0 ? Listed::kUnknown : Listed::kAbsent;
}

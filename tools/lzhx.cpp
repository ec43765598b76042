// lzhx: lists or extracts an LZH archive the way the updater writes it.
//
//   lzhx -l ARCHIVE          number, method, original size, directory and name
//   lzhx ARCHIVE DEST_DIR    extract every entry in order
//
// Every entry's data are checked against the size and CRC-16 its header
// stores; a file that fails the check is removed again.
//
// Exit status 0 when everything was listed or written, 1 for a usage error,
// 2 at the first failure (with a one-line message).
#include <cstdio>
#include <cstring>

#include "tidewell/lzh/lzh_archive.h"
#include "tidewell/lzh/lzh_decoder.h"
#include "tidewell/lzh/lzh_entry_check.h"
#include "tidewell/lzh/lzh_path.h"
#include "tools/lzhx_platform.h"

namespace {

enum { kPathCapacity = 520, kChunk = 32768 };

uint8_t g_chunk[kChunk];

int Fail(const char* format, const char* a, const char* b = "")
{
    std::fprintf(stderr, "lzhx: ");
    std::fprintf(stderr, format, a, b);
    std::fprintf(stderr, "\n");
    return 2;
}

const char* OpenResultText(int result)
{
    switch (result) {
    case 1: return "cannot be opened";
    case 2: return "holds no LZH header";
    }
    return "cannot be read";
}

// Opens and reads every header; prints the failure itself.
int OpenArchive(const char* path, LzhArchive* archive)
{
    int result = LzhOpen(path, archive);
    if (result != 0) return Fail("%s %s", path, OpenResultText(result));
    result = LzhReadHeaders(archive);
    if (result == 4) return Fail("%s: %s", path, "out of memory reading the headers");
    if (result != 0) return Fail("%s: %s", path, "an entry header is malformed or cut short");
    return 0;
}

int List(const char* path)
{
    LzhArchive archive = {};
    int result = OpenArchive(path, &archive);
    for (int32_t n = 1; result == 0 && n <= archive.count; n++) {
        const LzhEntry* e = LzhGetEntry(&archive, n);
        std::printf("%d %s %u %s%s\n", int(n), e->method, unsigned(e->originalSize), e->directory, e->name);
    }
    LzhClose(&archive);
    return result;
}

// Creates every directory along `path` up to its last separator (or the
// whole path), from `from` on; failures are left to the file creation.
// A separator never hides in the second byte of a double-byte character.
void MakeDirectories(char* path, size_t from, bool whole)
{
    size_t length = std::strlen(path);
    for (size_t i = from; i <= length; i++) {
        if (i < length && LzhIsLeadByte((unsigned char)path[i]) && path[i + 1]) {
            i++;
            continue;
        }
        bool end = i == length;
        bool separator = path[i] == kLzhxSeparator || path[i] == '/';
        if ((!separator && !end) || (end && !whole) || i == from) continue;
        char saved = path[i];
        path[i] = '\0';
        if (!LzhxIsDirectory(path)) LzhxMakeDirectory(path);
        path[i] = saved;
    }
}

// `label` names the entry in messages ("entry 3 (doc/a.txt)").
int WriteData(const char* target, const LzhEntry* entry, const char* label)
{
    LzhxOutput* out = LzhxCreate(target);
    if (!out) return Fail("%s: %s", target, "cannot be created");
    LzhEntryCheck check;
    LzhCheckStart(&check, entry);
    for (;;) {
        uint32_t got = LzhRead(g_chunk, kChunk);
        if (got == 0) break;
        LzhCheckAdd(&check, g_chunk, got);
        if (LzhxWrite(out, g_chunk, got) != 0) {
            LzhxAbandon(out);
            return Fail("%s: %s", target, "write failed");
        }
    }
    LzhCheckResult verdict = LzhCheckFinish(&check);
    if (verdict != LZH_CHECK_OK) {
        LzhxAbandon(out);
        LzhxRemove(target);
        return Fail("%s: %s", label, LzhCheckResultText(verdict));
    }
    if (LzhxFinish(out, entry->creationTime, entry->lastAccessTime, entry->lastWriteTime) != 0)
        return Fail("%s: %s", target, "cannot set the file times or close");
    return 0;
}

int ExtractEntry(LzhArchive* archive, int32_t n, const char* folder)
{
    const LzhEntry* entry = LzhGetEntry(archive, n);
    char target[kPathCapacity];
    char number[32];
    std::snprintf(number, sizeof number, "entry %d", int(n));
    // A level-0 directory entry "dir\" keeps nothing after its last
    // backslash, and its files carry no directory either: nothing to make.
    if (LzhIsDirectoryEntry(entry) && entry->directory[0] == '\0' && entry->name[0] == '\0') {
        std::printf("%d/%d %s 0 \n", int(n), int(archive->count), entry->method);
        std::fflush(stdout);
        return 0;
    }
    if (LzhIsNamelessEntry(entry)) {
        std::fprintf(stderr, "lzhx: warning: %s has no file name and is skipped\n", number);
        return 0;
    }
    LzhPathResult where =
        LzhJoinEntryPath(folder, entry->directory, entry->name, kLzhxSeparator, target, sizeof target);
    if (where != LZH_PATH_OK) return Fail("%s refused: %s", number, LzhPathResultText(where));
    const size_t folderLength = std::strlen(folder);
    std::printf("%d/%d %s %u %s\n", int(n), int(archive->count), entry->method, unsigned(entry->originalSize),
                target + folderLength);
    std::fflush(stdout);

    // A directory entry stands for its directory alone and has no data.
    if (LzhIsDirectoryEntry(entry)) {
        MakeDirectories(target, folderLength, true);
        return LzhxIsDirectory(target) ? 0 : Fail("%s: %s", target, "directory cannot be created");
    }
    if (entry->name[0] == '\0') return Fail("%s: %s", number, "the entry has no file name");
    if (LzhSelectEntry(archive, n) != 0)
        return Fail("%s: method %s is not supported or its data cannot be reached", number, entry->method);
    MakeDirectories(target, folderLength, false);
    char label[kPathCapacity + 32];
    std::snprintf(label, sizeof label, "%s (%s)", number, target + folderLength);
    return WriteData(target, entry, label);
}

int Extract(const char* path, const char* destination)
{
    char folder[kPathCapacity];
    size_t length = std::strlen(destination);
    if (length + 2 > sizeof folder) return Fail("%s: %s", destination, "destination path too long");
    std::memcpy(folder, destination, length + 1);
    if (length == 0 || (folder[length - 1] != kLzhxSeparator && folder[length - 1] != '/')) {
        folder[length++] = kLzhxSeparator;
        folder[length] = '\0';
    }
    MakeDirectories(folder, 0, false);
    if (!LzhxIsDirectory(destination)) return Fail("%s: %s", destination, "destination folder cannot be created");

    LzhArchive archive = {};
    int result = OpenArchive(path, &archive);
    for (int32_t n = 1; result == 0 && n <= archive.count; n++) result = ExtractEntry(&archive, n, folder);
    LzhClose(&archive);
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "-l") == 0) return List(argv[2]);
    if (argc == 3) return Extract(argv[1], argv[2]);
    std::fprintf(stderr, "usage: lzhx -l ARCHIVE | lzhx ARCHIVE DEST_DIR\n");
    return 1;
}

#include "tidewell/lzh/lzh_archive.h"

#include <cstring>
#include <new>

#include "tidewell/lzh/lzh_decoder.h"

namespace {

// How many bytes the search for the first header may examine.
const int kSearchBudget = 2048;

void CopyText(char* out, const char* text)
{
    std::strncpy(out, text, LZH_TEXT_SIZE - 1);
    out[LZH_TEXT_SIZE - 1] = '\0';
}

// Finds the first method id of the form hyphen, 'l', 'z' or 'h', any byte,
// hyphen, searching from offset 2, and seeks to the header start two bytes
// before it. A hyphen met inside a failed try starts the next try; a try
// once begun is completed even past the budget.
int SearchFirstHeader(LzhFile* file)
{
    if (LzhFileSeek(file, 2) != 0) return 2;
    int budget = kSearchBudget;
    for (;;) {
        int c = LzhFileByte(file);
        budget--;
        if (file->eof) return 2;
        if (c == '-') {
            for (;;) {
                c = LzhFileByte(file);
                budget--;
                if (c == '-') continue;
                if (c != 'l') break;
                c = LzhFileByte(file);
                budget--;
                if (c == '-') continue;
                if (c != 'z' && c != 'h') break;
                LzhFileByte(file);
                c = LzhFileByte(file);
                budget -= 2;
                if (c == '-') return LzhFileSeek(file, uint64_t(LzhFileTell(file)) - 7) == 0 ? 0 : 2;
                break;
            }
        }
        if (budget <= 0) return 2;
    }
}

// Appends a new entry, which becomes the last and the current one.
int AppendEntry(LzhArchive* archive)
{
    LzhEntry* entry = new (std::nothrow) LzhEntry();
    if (!entry) return 4;
    entry->previous = archive->last;
    if (archive->last)
        archive->last->next = entry;
    else
        archive->first = entry;
    archive->last = entry;
    archive->current = entry;
    archive->count++;
    return 0;
}

void RemoveLastEntry(LzhArchive* archive)
{
    LzhEntry* entry = archive->last;
    if (!entry) return;
    archive->last = entry->previous;
    if (archive->last)
        archive->last->next = nullptr;
    else
        archive->first = nullptr;
    archive->current = archive->last;
    archive->count--;
    delete entry;
}

}  // namespace

int LzhOpen(const char* path, LzhArchive* archive)
{
    CopyText(archive->path, path);
    archive->first = archive->current = archive->last = nullptr;
    archive->count = 0;
    if (LzhFileOpen(&archive->file, path) != 0) return 1;
    return SearchFirstHeader(&archive->file);
}

int LzhReadHeaders(LzhArchive* archive)
{
    for (;;) {
        if (AppendEntry(archive) != 0) return 4;
        int result = LzhReadHeader(archive);
        if (result == 3) {
            RemoveLastEntry(archive);
            return 0;
        }
        if (result != 0) return result;
    }
}

LzhEntry* LzhGetEntry(LzhArchive* archive, int32_t n)
{
    if (n < 1 || n > archive->count) return nullptr;
    LzhEntry* entry = archive->first;
    for (int32_t i = 1; i < n && entry; i++) entry = entry->next;
    return entry;
}

void LzhClose(LzhArchive* archive)
{
    LzhDecoderForget(archive);
    while (archive->last) RemoveLastEntry(archive);
    LzhFileClose(&archive->file);
    CopyText(archive->path, "closed");
}

bool LzhIsDirectoryEntry(const LzhEntry* entry)
{
    return std::memcmp(entry->method, "-lhd-", 5) == 0;
}

bool LzhIsNamelessEntry(const LzhEntry* entry)
{
    return !LzhIsDirectoryEntry(entry) && entry->name[0] == '\0' && entry->originalSize == 0;
}

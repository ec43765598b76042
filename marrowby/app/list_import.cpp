// Importing plain URL lists: one URL per line, only http and https URLs are
// taken.
#include "marrowby/app/list_file.h"

#include <new>

#include "marrowby/app/download_list_internal.h"
#include "marrowby/app/list_format.h"
#include "common/text_helpers.h"

int ImportUrlList(const char* path)
{
    HANDLE file = OpenListInput(path);
    if (file == INVALID_HANDLE_VALUE) return 1;
    LineSource* source = new (std::nothrow) LineSource;
    if (source == nullptr) {
        CloseHandle(file);
        return 1;
    }
    InitLineSource(source, ReadListInput, file);
    SetListRedraw(false);
    char line[kUrlListLineSize];
    while (ReadLinePiece(source, line, sizeof(line))) {
        CutAtLineEnd(line);
        AddUrl(line, nullptr, nullptr, nullptr);  // refuses anything but http(s) URLs
    }
    SetListRedraw(true);
    delete source;
    CloseHandle(file);
    return 0;
}

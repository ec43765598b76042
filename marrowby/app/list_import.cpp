// Importing plain URL lists: one URL per line, only http and https URLs are
// taken.
#include "marrowby/app/list_file.h"

#include <new>

#include <string.h>

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
    bool tooLong = false;
    bool inLongLine = false;  // the pieces after the first of an overlong line
    while (ReadLinePiece(source, line, sizeof(line))) {
        bool lineEnds = strchr(line, '\n') != nullptr;
        if (inLongLine) {
            inLongLine = !lineEnds;
            continue;
        }
        CutAtLineEnd(line);
        // Refuses anything but http(s) URLs, and a URL too long to keep whole.
        if (AddUrl(line, nullptr, nullptr, nullptr) == 3) {
            tooLong = true;
            inLongLine = !lineEnds;
        }
    }
    SetListRedraw(true);
    delete source;
    CloseHandle(file);
    return tooLong ? 2 : 0;
}

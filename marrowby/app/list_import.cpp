// Importing plain URL lists: one URL per line, only http URLs are taken.
#include "marrowby/app/list_file.h"

#include <new>

#include "marrowby/app/download_list.h"
#include "marrowby/app/list_format.h"
#include "marrowby/engine/path_helpers.h"
#include "marrowby/engine/url.h"

namespace {

size_t ReadUrlList(void* context, uint8_t* buffer, size_t capacity) {
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(context), buffer, static_cast<DWORD>(capacity), &got,
                  nullptr)) {
        return 0;
    }
    return got;
}

}  // namespace

int ImportUrlList(const char* path) {
    if (path == nullptr || path[0] == '\0') return 1;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    LineSource* source = new (std::nothrow) LineSource;
    if (source == nullptr) {
        CloseHandle(file);
        return 1;
    }
    InitLineSource(source, ReadUrlList, file);
    HWND listControl = ListControl();
    SendMessageA(listControl, WM_SETREDRAW, FALSE, 0);  // one repaint for the whole file
    char line[kUrlListLineSize];
    while (ReadLinePiece(source, line, sizeof(line))) {
        CutAtLineEnd(line);
        UrlParts parts;
        ResetUrl(parts);
        if (ParseUrl(line, nullptr, parts) == 0 && parts.scheme == kSchemeHttp) {
            AddUrl(line, nullptr, nullptr, nullptr);
        }
    }
    SendMessageA(listControl, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(listControl, nullptr, TRUE);
    delete source;
    CloseHandle(file);
    return 0;
}

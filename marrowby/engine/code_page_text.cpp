#include "marrowby/engine/code_page_text.h"

#include <windows.h>

#include <vector>

bool Utf8ToProgramCodePage(const char* utf8, size_t length, char* out, size_t capacity)
{
    if (capacity == 0 || length > 0x7FFFFFFF) return false;
    out[0] = '\0';
    if (length == 0) return true;
    int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, (int)length, nullptr, 0);
    if (wide <= 0) return false;
    std::vector<wchar_t> text((size_t)wide);
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, (int)length, text.data(), wide) != wide) return false;
    BOOL usedDefault = FALSE;
    int room = capacity - 1 > 0x7FFFFFFF ? 0x7FFFFFFF : (int)(capacity - 1);
    int written =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), wide, out, room, nullptr, &usedDefault);
    if (written <= 0 || usedDefault) {
        out[0] = '\0';
        return false;
    }
    out[written] = '\0';
    return true;
}

bool ProgramCodePageToUtf8(const char* text, char* out, size_t capacity)
{
    if (capacity == 0) return false;
    out[0] = '\0';
    if (text[0] == '\0') return true;
    int wide = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (wide <= 0) return false;
    std::vector<wchar_t> converted((size_t)wide);
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, converted.data(), wide) != wide) return false;
    int room = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : (int)capacity;
    // The count includes the terminator, which is written too.
    return WideCharToMultiByte(CP_UTF8, 0, converted.data(), wide, out, room, nullptr, nullptr) > 0;
}

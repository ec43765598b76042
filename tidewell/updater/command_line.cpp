#include "tidewell/updater/command_line.h"

#include <cstring>

#include "common/bounded_text.h"
#include "common/sjis.h"

namespace {

// Reads the next quoted argument from *cursor into out (kArgumentMax
// characters at most). Returns false when no opening quote follows or the
// text ends before the closing quote. A double quote is never the second
// byte of a Shift-JIS character, so quotes are found byte by byte.
bool NextArgument(const char** cursor, char (&out)[kArgumentMax + 1])
{
    const char* p = std::strchr(*cursor, '"');
    if (!p) return false;
    ++p;
    const char* close = std::strchr(p, '"');
    if (!close) return false;
    size_t n = 0;
    while (p + n < close) {
        size_t length = SjisCharLength(p + n);
        if (p + n + length > close || n + length > kArgumentMax) break;
        n += length;
    }
    std::memcpy(out, p, n);
    out[n] = '\0';
    *cursor = close + 1;
    return true;
}

bool EndsWithSeparator(const char* text)
{
    bool separator = false;
    for (const char* p = text; *p != '\0';) {
        size_t length = SjisCharLength(p);
        separator = length == 1 && (*p == '\\' || *p == '/');
        p += length;
    }
    return separator;
}

}  // namespace

bool ParseCommandLine(const char* text, CommandLineArgs* args)
{
    std::memset(args, 0, sizeof(*args));
    if (!text) return false;
    const char* cursor = text;
    char argument[kArgumentMax + 1];
    if (!NextArgument(&cursor, argument)) return false;
    mw_text::Copy(args->url, argument);
    args->hasUrl = true;
    if (!NextArgument(&cursor, argument)) return true;
    mw_text::Copy(args->infoFile, argument);
    args->hasInfoFile = true;
    if (!NextArgument(&cursor, argument)) return true;
    mw_text::Copy(args->folder, argument);
    if (!EndsWithSeparator(args->folder)) mw_text::Append(args->folder, sizeof(args->folder), "\\");
    args->hasFolder = true;
    return true;
}

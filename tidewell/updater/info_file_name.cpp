#include "tidewell/updater/info_file_name.h"

#include "common/bounded_text.h"
#include "common/safe_file_name.h"
#include "common/sjis.h"

namespace {

// Enough for either URL field and whatever follows it up to its terminator.
constexpr size_t kUrlTextSize = 2048;

// The text after the last '/' or '\' (a double-byte character's second byte
// is never taken for one).
const char* LastPart(const char* url)
{
    const char* part = url;
    for (const char* p = url; *p; p += SjisCharLength(p)) {
        if (*p == '/' || *p == '\\') part = p + 1;
    }
    return part;
}

}  // namespace

int InformationFileName(RecordView fetched, const char* known, char* out, size_t capacity)
{
    if (capacity == 0) return 1;
    out[0] = '\0';
    if (known && known[0] != '\0') {
        mw_text::Copy(out, capacity, known);
        return 0;
    }
    uint32_t offset = 0;
    int32_t format = RecordFormat(fetched);
    if (format == 2)
        offset = kRecord2InfoUrlOffset;
    else if (format == 1)
        offset = kRecord1ArchiveUrlOffset;
    else
        return 1;
    char url[kUrlTextSize];
    RecordText(fetched, offset, url, sizeof(url));
    // The server chose this name: no folder part, no "..", device names or
    // characters that Windows reads otherwise; nothing left is no name.
    SafeLocalFileNameOr(LastPart(url), "", out, capacity);
    return out[0] == '\0' ? 1 : 0;
}

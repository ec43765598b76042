#include "marrowby/engine/http_date.h"

#include <atomic>
#include <cstring>
#include <ctime>

#include "marrowby/engine/bounded_text.h"
#include "marrowby/engine/response_internal.h"

namespace {

constexpr size_t kDateWorkMax = 128;
constexpr int32_t kOffsetUnknown = INT32_MIN;  // 0x80000000

// The weekday names come first; only the month names are ever looked up.
const char* const kDayAndMonthNames[] = {
    "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat",
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr int kFirstMonth = 7;

std::atomic<int32_t> g_localUtcOffset{kOffsetUnknown};

// Cuts the work text into tokens in place. A token ends at a given
// separator; running out of text before it fails.
struct DateCursor {
    char* p;
};

bool Token(DateCursor& cursor, char separator, char*& token) {
    char* end = std::strchr(cursor.p, separator);
    if (end == nullptr) return false;
    *end = '\0';
    token = cursor.p;
    cursor.p = end + 1;
    return true;
}

bool Number(DateCursor& cursor, char separator, int& value) {
    char* token;
    if (!Token(cursor, separator, token)) return false;
    value = ParseDecimal(token);
    return true;
}

bool Month(DateCursor& cursor, char separator, int& month) {
    char* token;
    if (!Token(cursor, separator, token)) return false;
    month = MonthIndex(token);
    return month >= 0;
}

void SkipSpaces(DateCursor& cursor) {
    while (*cursor.p == ' ') ++cursor.p;
}

bool Clock(DateCursor& cursor, std::tm& fields) {
    return Number(cursor, ':', fields.tm_hour) && Number(cursor, ':', fields.tm_min) &&
           Number(cursor, ' ', fields.tm_sec);
}

// Sun, 06 Nov 1994 08:49:37 GMT
bool ReadRfc1123(char* work, std::tm& fields) {
    DateCursor cursor{work};
    char* weekday;
    if (!Token(cursor, ',', weekday)) return false;
    SkipSpaces(cursor);
    if (!Number(cursor, ' ', fields.tm_mday)) return false;
    SkipSpaces(cursor);
    if (!Month(cursor, ' ', fields.tm_mon)) return false;
    SkipSpaces(cursor);
    int year;
    if (!Number(cursor, ' ', year) || year < 1900) return false;
    fields.tm_year = year - 1900;
    return Clock(cursor, fields);
}

// Sunday, 06-Nov-94 08:49:37 GMT
bool ReadRfc850(char* work, std::tm& fields) {
    DateCursor cursor{work};
    char* weekday;
    if (!Token(cursor, ',', weekday)) return false;
    SkipSpaces(cursor);
    if (!Number(cursor, '-', fields.tm_mday)) return false;
    if (!Month(cursor, '-', fields.tm_mon)) return false;
    int year;
    if (!Number(cursor, ' ', year) || year < 0) return false;
    fields.tm_year = year >= 1900 ? year - 1900 : year;  // 94 means 1994
    return Clock(cursor, fields);
}

// Sun Nov  6 08:49:37 1994
bool ReadAsctime(char* work, std::tm& fields) {
    DateCursor cursor{work};
    char* weekday;
    if (!Token(cursor, ' ', weekday)) return false;
    SkipSpaces(cursor);
    if (!Month(cursor, ' ', fields.tm_mon)) return false;
    SkipSpaces(cursor);
    if (!Number(cursor, ' ', fields.tm_mday)) return false;
    if (!Clock(cursor, fields)) return false;
    SkipSpaces(cursor);
    // The year may end the text.
    char* space = std::strchr(cursor.p, ' ');
    if (space != nullptr) *space = '\0';
    const int year = ParseDecimal(cursor.p);
    if (year < 1900) return false;
    fields.tm_year = year - 1900;
    return true;
}

// The fields are UTC; mktime takes them as local time, and the offset puts
// that right. Only the signed 32-bit range of seconds is accepted.
bool ToTime(std::tm& fields, int32_t& time) {
    fields.tm_isdst = 0;
    const int64_t local = std::mktime(&fields);
    if (local < 0 || local > INT32_MAX) return false;
    const int64_t utc = local + LocalUtcOffset();
    if (utc < 0 || utc > INT32_MAX) return false;
    time = static_cast<int32_t>(utc);
    return true;
}

bool BreakDown(std::time_t now, bool local, std::tm& fields) {
#if defined(_WIN32)
    return (local ? localtime_s(&fields, &now) : gmtime_s(&fields, &now)) == 0;
#else
    return (local ? localtime_r(&now, &fields) : gmtime_r(&now, &fields)) != nullptr;
#endif
}

}  // namespace

int32_t MonthIndex(const char* text) {
    if (text == nullptr) return -1;
    for (int i = 0; i < 12; ++i) {
        if (std::strcmp(text, kDayAndMonthNames[kFirstMonth + i]) == 0) return i;
    }
    return -1;
}

int32_t LocalUtcOffset() {
    int32_t offset = g_localUtcOffset.load();
    if (offset != kOffsetUnknown) return offset;

    const std::time_t now = std::time(nullptr);
    std::tm utcFields{};
    std::tm localFields{};
    offset = 0;
    if (BreakDown(now, false, utcFields) && BreakDown(now, true, localFields)) {
        const std::time_t utcAsLocal = std::mktime(&utcFields);
        const std::time_t local = std::mktime(&localFields);
        if (utcAsLocal != static_cast<std::time_t>(-1) && local != static_cast<std::time_t>(-1)) {
            offset = static_cast<int32_t>(local - utcAsLocal);
        }
    }
    // Threads racing here compute the same value; the first store wins.
    int32_t expected = kOffsetUnknown;
    g_localUtcOffset.compare_exchange_strong(expected, offset);
    return g_localUtcOffset.load();
}

int32_t ParseHttpDate(const char* text, int32_t& time) {
    if (text == nullptr) return 1;
    char work[kDateWorkMax + 1];
    mw_text::CopyN(work, text, kDateWorkMax);

    const size_t separator = std::strcspn(work, ", ");
    if (work[separator] == '\0') return 1;

    std::tm fields{};
    bool ok;
    if (work[separator] == ',') {
        ok = ReadRfc1123(work, fields);
        if (!ok) {
            // The first try cut the work text up; start again from the original.
            mw_text::CopyN(work, text, kDateWorkMax);
            fields = std::tm{};
            ok = ReadRfc850(work, fields);
        }
    } else {
        ok = ReadAsctime(work, fields);
    }
    if (!ok) return 1;
    return ToTime(fields, time) ? 0 : 1;
}

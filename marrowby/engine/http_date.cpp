#include "marrowby/engine/http_date.h"

#include <cstring>

#include "common/bounded_text.h"
#include "marrowby/engine/decimal.h"

namespace {

constexpr size_t kDateWorkMax = 128;

// The weekday names come first; only the month names are ever looked up.
const char* const kDayAndMonthNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Jan", "Feb", "Mar",
                                         "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr int kFirstMonth = 7;

// The date as read, before normalisation: any field may be out of range
// (hour 24, day 31 of a 30-day month, second 60, even negative values).
struct DateFields {
    int year = 0;   // years since 1900
    int month = 0;  // 0 to 11
    int day = 0;    // day of month, 1-based
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Cuts the work text into tokens in place. A token ends at a given
// separator; running out of text before it fails.
struct DateCursor {
    char* p;
};

bool Token(DateCursor& cursor, char separator, char*& token)
{
    char* end = std::strchr(cursor.p, separator);
    if (end == nullptr) return false;
    *end = '\0';
    token = cursor.p;
    cursor.p = end + 1;
    return true;
}

bool Number(DateCursor& cursor, char separator, int& value)
{
    char* token;
    if (!Token(cursor, separator, token)) return false;
    value = ParseDecimal(token);
    return true;
}

bool Month(DateCursor& cursor, char separator, int& month)
{
    char* token;
    if (!Token(cursor, separator, token)) return false;
    month = MonthIndex(token);
    return month >= 0;
}

void SkipSpaces(DateCursor& cursor)
{
    while (*cursor.p == ' ') ++cursor.p;
}

bool Clock(DateCursor& cursor, DateFields& fields)
{
    return Number(cursor, ':', fields.hour) && Number(cursor, ':', fields.minute) && Number(cursor, ' ', fields.second);
}

// Sun, 06 Nov 1994 08:49:37 GMT
bool ReadRfc1123(char* work, DateFields& fields)
{
    DateCursor cursor{work};
    char* weekday;
    if (!Token(cursor, ',', weekday)) return false;
    SkipSpaces(cursor);
    if (!Number(cursor, ' ', fields.day)) return false;
    SkipSpaces(cursor);
    if (!Month(cursor, ' ', fields.month)) return false;
    SkipSpaces(cursor);
    int year;
    if (!Number(cursor, ' ', year) || year < 1900) return false;
    fields.year = year - 1900;
    return Clock(cursor, fields);
}

// Sunday, 06-Nov-94 08:49:37 GMT
bool ReadRfc850(char* work, DateFields& fields)
{
    DateCursor cursor{work};
    char* weekday;
    if (!Token(cursor, ',', weekday)) return false;
    SkipSpaces(cursor);
    if (!Number(cursor, '-', fields.day)) return false;
    if (!Month(cursor, '-', fields.month)) return false;
    int year;
    if (!Number(cursor, ' ', year) || year < 0) return false;
    fields.year = year >= 1900 ? year - 1900 : year;  // 94 means 1994
    return Clock(cursor, fields);
}

// Sun Nov  6 08:49:37 1994
bool ReadAsctime(char* work, DateFields& fields)
{
    DateCursor cursor{work};
    char* weekday;
    if (!Token(cursor, ' ', weekday)) return false;
    SkipSpaces(cursor);
    if (!Month(cursor, ' ', fields.month)) return false;
    SkipSpaces(cursor);
    if (!Number(cursor, ' ', fields.day)) return false;
    if (!Clock(cursor, fields)) return false;
    SkipSpaces(cursor);
    // The year may end the text.
    char* space = std::strchr(cursor.p, ' ');
    if (space != nullptr) *space = '\0';
    const int year = ParseDecimal(cursor.p);
    if (year < 1900) return false;
    fields.year = year - 1900;
    return true;
}

// Days from 1 January 1970 to the given proleptic Gregorian date (month 1
// to 12). Counts in 400-year eras of 146097 days starting on 1 March, so
// that the leap day ends its era year; valid for any year, also negative.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;                                          // 0 to 399
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;  // 0 to 365
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// The fields are UTC. Days, hours, minutes and seconds beyond their range
// simply add up, which normalises them (hour 24 is the next day, 31 November
// is 1 December). 64-bit sums cannot overflow from 32-bit fields, and only
// the signed 32-bit range of seconds is accepted.
bool ToTime(const DateFields& fields, int32_t& time)
{
    const int64_t days = DaysFromCivil(int64_t{1900} + fields.year, fields.month + 1, 1) + fields.day - 1;
    const int64_t seconds = days * 86400 + int64_t{fields.hour} * 3600 + int64_t{fields.minute} * 60 + fields.second;
    if (seconds < 0 || seconds > INT32_MAX) return false;
    time = static_cast<int32_t>(seconds);
    return true;
}

}  // namespace

int32_t MonthIndex(const char* text)
{
    if (text == nullptr) return -1;
    for (int i = 0; i < 12; ++i) {
        if (std::strcmp(text, kDayAndMonthNames[kFirstMonth + i]) == 0) return i;
    }
    return -1;
}

int32_t ParseHttpDate(const char* text, int32_t& time)
{
    if (text == nullptr) return 1;
    char work[kDateWorkMax + 1];
    mw_text::CopyN(work, text, kDateWorkMax);

    const size_t separator = std::strcspn(work, ", ");
    if (work[separator] == '\0') return 1;

    DateFields fields;
    bool ok;
    if (work[separator] == ',') {
        ok = ReadRfc1123(work, fields);
        if (!ok) {
            // The first try cut the work text up; start again from the original.
            mw_text::CopyN(work, text, kDateWorkMax);
            fields = DateFields{};
            ok = ReadRfc850(work, fields);
        }
    } else {
        ok = ReadAsctime(work, fields);
    }
    if (!ok) return 1;
    return ToTime(fields, time) ? 0 : 1;
}

// Reading the date formats of HTTP headers (RFC 1123, RFC 850, asctime).
#pragma once

#include <cstdint>

// Parses text into seconds since 1970 UTC (the zone written in the text is
// never looked at). Returns 0 with time written, non-zero on failure (time
// untouched). Dates outside 1970 to January 2038 fail.
int32_t ParseHttpDate(const char* text, int32_t& time);

// Seconds to add to a time that mktime computed from UTC fields taken as
// local time. Computed on first use and kept for the life of the process.
int32_t LocalUtcOffset();

// 0 to 11 when text is exactly "Jan" ... "Dec", else -1.
int32_t MonthIndex(const char* text);

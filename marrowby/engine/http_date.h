// Reading the date formats of HTTP headers (RFC 1123, RFC 850, asctime).
#pragma once

#include <cstdint>

// Parses text into seconds since 1970 UTC (the zone written in the text is
// never looked at). Returns 0 with time written, non-zero on failure (time
// untouched). Dates outside 1970 to January 2038 fail. Out-of-range fields
// are normalised (hour 24 is the next day). The result does not depend on
// the process's time zone.
int32_t ParseHttpDate(const char* text, int32_t& time);

// 0 to 11 when text is exactly "Jan" ... "Dec", else -1.
int32_t MonthIndex(const char* text);

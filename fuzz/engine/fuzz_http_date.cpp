// Parses the input as an HTTP date; a date that reads is written back in the
// RFC 1123 form and must read as the same time.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "fuzz_check.h"
#include "marrowby/engine/http_date.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Dates are UTC whatever the zone: run in one with daylight saving.
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    int32_t time = -1;
    if (ParseHttpDate(input.c_str(), time) != 0) {
        FUZZ_CHECK(time == -1);
        return 0;
    }
    FUZZ_CHECK(time >= 0);

    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t seconds = time;
    std::tm fields{};
    FUZZ_CHECK(gmtime_r(&seconds, &fields) != nullptr);
    char text[64];
    std::snprintf(text, sizeof text, "Sun, %02d %s %04d %02d:%02d:%02d GMT", fields.tm_mday, kMonths[fields.tm_mon],
                  fields.tm_year + 1900, fields.tm_hour, fields.tm_min, fields.tm_sec);
    int32_t again = -1;
    FUZZ_CHECK(ParseHttpDate(text, again) == 0);
    FUZZ_CHECK(again == time);
    return 0;
}

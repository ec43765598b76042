// Dates are read as UTC whatever the process's time zone, also when the zone
// changes while the process runs. Started in JST-9 by its test registration.
#include "marrowby/engine/http_date.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

void SetZone(const char* assignment)
{
#if defined(_WIN32)
    _putenv(assignment);
    _tzset();
#else
    putenv(const_cast<char*>(assignment));
    tzset();
#endif
}

constexpr int32_t k1994 = 784111777;     // Sun, 06 Nov 1994 08:49:37 GMT
constexpr int32_t kSummer = 1721044800;  // Mon, 15 Jul 2024 12:00:00 GMT
constexpr int32_t kWinter = 1705320000;  // Mon, 15 Jan 2024 12:00:00 GMT

int32_t Parsed(const char* text)
{
    int32_t time = -12345;
    EXPECT_EQ(0, ParseHttpDate(text, time)) << text;
    return time;
}

// Local hour of a UTC time, to show that the zone is really in effect.
int LocalHour(int32_t time)
{
    const std::time_t seconds = time;
    const std::tm* fields = std::localtime(&seconds);
    return fields == nullptr ? -1 : fields->tm_hour;
}

void ExpectUtcResults()
{
    EXPECT_EQ(k1994, Parsed("Sun, 06 Nov 1994 08:49:37 GMT"));
    EXPECT_EQ(k1994, Parsed("Sunday, 06-Nov-94 08:49:37 GMT"));
    EXPECT_EQ(k1994, Parsed("Sun Nov  6 08:49:37 1994"));
    EXPECT_EQ(kSummer, Parsed("Mon, 15 Jul 2024 12:00:00 GMT"));
    EXPECT_EQ(kWinter, Parsed("Mon, 15 Jan 2024 12:00:00 GMT"));
    EXPECT_EQ(kSummer, Parsed("Mon Jul 15 12:00:00 2024"));
    // The first and the last second of the range do not move with the zone.
    EXPECT_EQ(0, Parsed("Thu, 01 Jan 1970 00:00:00 GMT"));
    EXPECT_EQ(2147483647, Parsed("Tue, 19 Jan 2038 03:14:07 GMT"));
    int32_t time = -1;
    EXPECT_NE(0, ParseHttpDate("Wed, 31 Dec 1969 23:59:59 GMT", time));
    EXPECT_NE(0, ParseHttpDate("Tue, 19 Jan 2038 03:14:08 GMT", time));
    EXPECT_EQ(-1, time);
}

TEST(HttpDateZone, JapanStandardTime)
{
    SetZone("TZ=JST-9");
    ASSERT_EQ(21, LocalHour(kSummer));
    ExpectUtcResults();
}

TEST(HttpDateZone, ZoneWithDaylightSaving)
{
    SetZone("TZ=CET-1CEST,M3.5.0,M10.5.0/3");
    // Summer and winter are an hour apart locally, never in the parsed dates.
    ASSERT_EQ(14, LocalHour(kSummer));
    ASSERT_EQ(13, LocalHour(kWinter));
    ExpectUtcResults();
}

TEST(HttpDateZone, ChangingTheZoneChangesNothing)
{
    SetZone("TZ=JST-9");
    const int32_t inJapan = Parsed("Sun, 06 Nov 1994 08:49:37 GMT");
    SetZone("TZ=UTC0");
    ASSERT_EQ(12, LocalHour(kSummer));
    EXPECT_EQ(inJapan, Parsed("Sun, 06 Nov 1994 08:49:37 GMT"));
    ExpectUtcResults();
    SetZone("TZ=JST-9");
}

}  // namespace

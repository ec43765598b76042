#include "marrowby/engine/http_date.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>

namespace {

constexpr int32_t k1994 = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT

int32_t Parsed(const char* text)
{
    int32_t time = -12345;
    EXPECT_EQ(0, ParseHttpDate(text, time)) << text;
    return time;
}

void ExpectFails(const char* text)
{
    int32_t time = -12345;
    EXPECT_NE(0, ParseHttpDate(text, time)) << text;
    EXPECT_EQ(-12345, time) << text;
}

TEST(HttpDate, ThreeFormsOfOneMoment)
{
    EXPECT_EQ(k1994, Parsed("Sun, 06 Nov 1994 08:49:37 GMT"));
    EXPECT_EQ(k1994, Parsed("Sunday, 06-Nov-94 08:49:37 GMT"));
    EXPECT_EQ(k1994, Parsed("Sun Nov  6 08:49:37 1994"));
    EXPECT_EQ(k1994, Parsed("Sunday, 06-Nov-1994 08:49:37 GMT"));
}

TEST(HttpDate, ZoneTextIsNotRead)
{
    EXPECT_EQ(k1994, Parsed("Sun, 06 Nov 1994 08:49:37 +0900"));
    EXPECT_EQ(k1994, Parsed("Xyz, 06 Nov 1994 08:49:37 X"));
    EXPECT_EQ(k1994, Parsed("Sun,   06   Nov   1994 08:49:37 GMT"));
}

TEST(HttpDate, RangeOfThirtyTwoBitSeconds)
{
    EXPECT_EQ(0, Parsed("Thu, 01 Jan 1970 00:00:00 GMT"));
    EXPECT_EQ(2147483647, Parsed("Tue, 19 Jan 2038 03:14:07 GMT"));
    ExpectFails("Tue, 19 Jan 2038 03:14:08 GMT");
    ExpectFails("Wed, 31 Dec 1969 23:59:59 GMT");
    ExpectFails("Sunday, 06-Nov-2094 08:49:37 GMT");
}

TEST(HttpDate, MalformedDatesFail)
{
    ExpectFails("Sun, 06 NOV 1994 08:49:37 GMT");
    ExpectFails("Sun, 06 Nov 94 08:49:37 GMT");  // two-digit year in the RFC 1123 form
    ExpectFails("Sun, 06 Nov 1994 08:49:37");    // the zone must follow the seconds
    ExpectFails("Sun Nov  6 08:49:37");          // no year
    ExpectFails("Sun Nov  6 08:49");
    ExpectFails("");
    ExpectFails("19941106");
    ExpectFails(std::string(200, 'x').append(" ,").c_str());
    int32_t time = 0;
    EXPECT_NE(0, ParseHttpDate(nullptr, time));
}

TEST(HttpDate, AsctimeNeedsNothingAfterYear)
{
    EXPECT_EQ(k1994, Parsed("Sun Nov  6 08:49:37 1994 trailing"));
    EXPECT_EQ(k1994, Parsed("Sun Nov 06 08:49:37   1994"));
}

TEST(HttpDate, OutOfRangeFieldsAreNormalised)
{
    EXPECT_EQ(k1994 - 8 * 3600 - 49 * 60 - 37 + 86400, Parsed("Sun, 06 Nov 1994 24:00:00 GMT"));
    EXPECT_EQ(Parsed("Mon, 07 Nov 1994 00:00:00 GMT"), Parsed("Sun, 06 Nov 1994 24:00:00 GMT"));
    EXPECT_EQ(Parsed("Fri, 02 Dec 1994 00:00:00 GMT"), Parsed("Wed, 31 Nov 1994 24:00:00 GMT"));
}

TEST(HttpDate, CalendarArithmetic)
{
    EXPECT_EQ(68169600, Parsed("Tue, 29 Feb 1972 00:00:00 GMT"));
    EXPECT_EQ(951825600, Parsed("Tue, 29 Feb 2000 12:00:00 GMT"));  // 2000 is a leap year
    EXPECT_EQ(946684800, Parsed("Sat, 01 Jan 2000 00:00:00 GMT"));
    EXPECT_EQ(983404800, Parsed("Thu, 29 Feb 2001 00:00:00 GMT"));  // 2001 is not: 1 March
    EXPECT_EQ(788918400, Parsed("Sat, 31 Dec 1994 23:59:60 GMT"));  // a leap second rolls over the year
    EXPECT_EQ(784166400, Parsed("Sun, 06 Nov 1994 23:59:60 GMT"));
    EXPECT_EQ(Parsed("Sat, 01 Oct 1994 00:00:00 GMT"), Parsed("Fri, 31 Sep 1994 00:00:00 GMT"));
    EXPECT_EQ(Parsed("Sat, 05 Nov 1994 23:00:00 GMT"), Parsed("Sun, 06 Nov 1994 -1:00:00 GMT"));
    EXPECT_EQ(Parsed("Mon, 31 Oct 1994 00:00:00 GMT"), Parsed("Tue, 00 Nov 1994 00:00:00 GMT"));
    EXPECT_EQ(k1994, Parsed("Sun, 06 Nov 1994 00:00:31777 GMT"));
}

TEST(HttpDate, HugeFieldsFailInsteadOfOverflowing)
{
    ExpectFails("Sun, 99999999999 Nov 1994 08:49:37 GMT");
    ExpectFails("Sun, 06 Nov 2147483647 08:49:37 GMT");
    ExpectFails("Sun, 06 Nov 1994 2147483647:2147483647:2147483647 GMT");
    ExpectFails("Sun, -99999999999 Nov 1994 08:49:37 GMT");
    // Negative fields pulling a date below 1970 fail as well.
    ExpectFails("Thu, 01 Jan 1970 00:00:-1 GMT");
}

// Every few days from 1970 to 2038, at a changing time of day, a date
// written by the C library's UTC breakdown reads back as the same second.
TEST(HttpDate, AgreesWithTheLibraryBreakdown)
{
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int checked = 0;
    for (int64_t t = 0; t <= INT32_MAX; t += 5 * 86400 + 3671) {
        const std::time_t seconds = static_cast<std::time_t>(t);
        const std::tm* fields = std::gmtime(&seconds);
        ASSERT_NE(nullptr, fields);
        char text[64];
        std::snprintf(text, sizeof text, "Xxx, %02d %s %04d %02d:%02d:%02d GMT", fields->tm_mday,
                      kMonths[fields->tm_mon], fields->tm_year + 1900, fields->tm_hour, fields->tm_min, fields->tm_sec);
        int32_t time = -1;
        ASSERT_EQ(0, ParseHttpDate(text, time)) << text;
        ASSERT_EQ(t, time) << text;
        ++checked;
    }
    EXPECT_GT(checked, 4000);
}

TEST(HttpDate, DifferencesHoldInAnyZone)
{
    const int32_t a = Parsed("Sun, 06 Nov 1994 08:49:37 GMT");
    const int32_t b = Parsed("Sun, 06 Nov 1994 09:50:38 GMT");
    EXPECT_EQ(3661, b - a);
    EXPECT_EQ(Parsed("Sat, 01 Jan 2000 00:00:00 GMT") - Parsed("Fri, 01 Jan 1999 00:00:00 GMT"), 365 * 86400);
}

TEST(HttpDate, MonthIndexIsExact)
{
    EXPECT_EQ(0, MonthIndex("Jan"));
    EXPECT_EQ(10, MonthIndex("Nov"));
    EXPECT_EQ(11, MonthIndex("Dec"));
    EXPECT_EQ(-1, MonthIndex("Sun"));
    EXPECT_EQ(-1, MonthIndex("nov"));
    EXPECT_EQ(-1, MonthIndex("Novem"));
    EXPECT_EQ(-1, MonthIndex(""));
    EXPECT_EQ(-1, MonthIndex(nullptr));
}

}  // namespace

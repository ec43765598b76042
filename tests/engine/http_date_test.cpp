#include "marrowby/engine/http_date.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// Dates are read as UTC through mktime and the process's local offset; pin
// the zone to one without daylight saving before the offset is first taken.
struct UtcZone {
    UtcZone() {
#if defined(_WIN32)
        _putenv("TZ=UTC0");
        _tzset();
#else
        setenv("TZ", "UTC0", 1);
        tzset();
#endif
    }
} const g_utcZone;

constexpr int32_t k1994 = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT

int32_t Parsed(const char* text) {
    int32_t time = -12345;
    EXPECT_EQ(0, ParseHttpDate(text, time)) << text;
    return time;
}

void ExpectFails(const char* text) {
    int32_t time = -12345;
    EXPECT_NE(0, ParseHttpDate(text, time)) << text;
    EXPECT_EQ(-12345, time) << text;
}

TEST(HttpDate, ThreeFormsOfOneMoment) {
    EXPECT_EQ(0, LocalUtcOffset());
    EXPECT_EQ(k1994, Parsed("Sun, 06 Nov 1994 08:49:37 GMT"));
    EXPECT_EQ(k1994, Parsed("Sunday, 06-Nov-94 08:49:37 GMT"));
    EXPECT_EQ(k1994, Parsed("Sun Nov  6 08:49:37 1994"));
    EXPECT_EQ(k1994, Parsed("Sunday, 06-Nov-1994 08:49:37 GMT"));
}

TEST(HttpDate, ZoneTextIsNotRead) {
    EXPECT_EQ(k1994, Parsed("Sun, 06 Nov 1994 08:49:37 +0900"));
    EXPECT_EQ(k1994, Parsed("Xyz, 06 Nov 1994 08:49:37 X"));
    EXPECT_EQ(k1994, Parsed("Sun,   06   Nov   1994 08:49:37 GMT"));
}

TEST(HttpDate, RangeOfThirtyTwoBitSeconds) {
    EXPECT_EQ(0, Parsed("Thu, 01 Jan 1970 00:00:00 GMT"));
    EXPECT_EQ(2147483647, Parsed("Tue, 19 Jan 2038 03:14:07 GMT"));
    ExpectFails("Tue, 19 Jan 2038 03:14:08 GMT");
    ExpectFails("Wed, 31 Dec 1969 23:59:59 GMT");
    ExpectFails("Sunday, 06-Nov-2094 08:49:37 GMT");
}

TEST(HttpDate, MalformedDatesFail) {
    ExpectFails("Sun, 06 NOV 1994 08:49:37 GMT");
    ExpectFails("Sun, 06 Nov 94 08:49:37 GMT");  // two-digit year in the RFC 1123 form
    ExpectFails("Sun, 06 Nov 1994 08:49:37");    // the zone must follow the seconds
    ExpectFails("Sun Nov  6 08:49:37");           // no year
    ExpectFails("Sun Nov  6 08:49");
    ExpectFails("");
    ExpectFails("19941106");
    ExpectFails(std::string(200, 'x').append(" ,").c_str());
    int32_t time = 0;
    EXPECT_NE(0, ParseHttpDate(nullptr, time));
}

TEST(HttpDate, AsctimeNeedsNothingAfterYear) {
    EXPECT_EQ(k1994, Parsed("Sun Nov  6 08:49:37 1994 trailing"));
    EXPECT_EQ(k1994, Parsed("Sun Nov 06 08:49:37   1994"));
}

TEST(HttpDate, OutOfRangeFieldsAreNormalised) {
    EXPECT_EQ(k1994 - 8 * 3600 - 49 * 60 - 37 + 86400, Parsed("Sun, 06 Nov 1994 24:00:00 GMT"));
    EXPECT_EQ(Parsed("Mon, 07 Nov 1994 00:00:00 GMT"), Parsed("Sun, 06 Nov 1994 24:00:00 GMT"));
    EXPECT_EQ(Parsed("Fri, 02 Dec 1994 00:00:00 GMT"), Parsed("Wed, 31 Nov 1994 24:00:00 GMT"));
}

TEST(HttpDate, DifferencesHoldInAnyZone) {
    const int32_t a = Parsed("Sun, 06 Nov 1994 08:49:37 GMT");
    const int32_t b = Parsed("Sun, 06 Nov 1994 09:50:38 GMT");
    EXPECT_EQ(3661, b - a);
    EXPECT_EQ(Parsed("Sat, 01 Jan 2000 00:00:00 GMT") - Parsed("Fri, 01 Jan 1999 00:00:00 GMT"), 365 * 86400);
}

TEST(HttpDate, MonthIndexIsExact) {
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

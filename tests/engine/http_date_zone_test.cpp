// Runs in its own process: the local offset is taken once per process, so a
// zone away from UTC cannot share a process with the other date tests.
#include "marrowby/engine/http_date.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

void SetZone(const char* assignment) {
#if defined(_WIN32)
    _putenv(assignment);
    _tzset();
#else
    putenv(const_cast<char*>(assignment));
    tzset();
#endif
}

constexpr int32_t k1994 = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
constexpr int32_t kNineHours = 9 * 3600;

TEST(HttpDateZone, OffsetIsTakenOnceAndDatesStayUtc) {
    SetZone("TZ=JST-9");
    EXPECT_EQ(kNineHours, LocalUtcOffset());

    int32_t time = -1;
    EXPECT_EQ(0, ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT", time));
    EXPECT_EQ(k1994, time);
    EXPECT_EQ(0, ParseHttpDate("Thu, 01 Jan 1970 09:00:00 GMT", time));
    EXPECT_EQ(kNineHours, time);
    // Taken as local time this lies before 1970, so the conversion fails.
    time = -1;
    EXPECT_NE(0, ParseHttpDate("Thu, 01 Jan 1970 08:59:59 GMT", time));
    EXPECT_EQ(-1, time);

    // A later zone change is not seen: the offset was kept.
    SetZone("TZ=UTC0");
    EXPECT_EQ(kNineHours, LocalUtcOffset());
    EXPECT_EQ(0, ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT", time));
    EXPECT_EQ(k1994 + kNineHours, time);
}

}  // namespace

#include "marrowby/engine/segment_plan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr int64_t kMiB = 1 << 20;

// Writes count bytes for connection the way a connection does: claim, then
// confirm what it was allowed.
int64_t Write(SegmentPlan& plan, int32_t connection, int64_t count)
{
    int64_t allowed = ClaimSegmentBytes(plan, connection, count);
    ConfirmSegmentBytes(plan, connection, allowed);
    return allowed;
}

// Every byte of 0..total is in exactly one segment, in order.
void ExpectCoverage(const SegmentPlan& plan)
{
    int64_t next = 0;
    for (int32_t i = 0; i < plan.count; ++i) {
        EXPECT_EQ(next, plan.segments[i].start) << i;
        EXPECT_LT(plan.segments[i].start, plan.segments[i].end) << i;
        EXPECT_LE(plan.segments[i].written, plan.segments[i].claimed) << i;
        next = plan.segments[i].end;
    }
    EXPECT_EQ(plan.total, next);
}

TEST(SegmentPlan, CountFollowsSizeAndConnections)
{
    EXPECT_EQ(1, SegmentCountFor(100, 4));
    EXPECT_EQ(1, SegmentCountFor(kMiB + kMiB / 2, 4));
    EXPECT_EQ(3, SegmentCountFor(3 * kMiB, 4));
    EXPECT_EQ(4, SegmentCountFor(256 * kMiB, 4));
    EXPECT_EQ(16, SegmentCountFor(256 * kMiB, 40));
    EXPECT_EQ(1, SegmentCountFor(256 * kMiB, 0));

    SegmentPlan plan;
    PlanSegments(plan, 10 * kMiB + 5, 0, 4);
    ASSERT_EQ(4, plan.count);
    ExpectCoverage(plan);
    for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(0, plan.segments[i].end % kSplitAlign);
    EXPECT_EQ(0, WrittenBytes(plan));

    // A resume offset of the old kind: the bytes before it belong to the
    // head segment, which the first connection goes on with into the same
    // file; only the rest is cut.
    PlanSegments(plan, 10 * kMiB, 7 * kMiB, 8);
    ASSERT_EQ(3, plan.count);
    EXPECT_TRUE(plan.segments[0].written == 7 * kMiB && plan.segments[0].end == 8 * kMiB);
    EXPECT_EQ(7 * kMiB, ContiguousPrefix(plan));
    ExpectCoverage(plan);
    int64_t end = 0;
    ASSERT_TRUE(TakeSegmentAt(plan, 0, 7 * kMiB, end));
    EXPECT_EQ(8 * kMiB, end);
    EXPECT_TRUE(OwnsHeadSegment(plan, 0));
    // A large file's head is short, so its copy at the end costs little;
    // the other connections share the rest.
    PlanSegments(plan, 1024 * kMiB + 5, 0, 4);
    ASSERT_EQ(4, plan.count);
    EXPECT_EQ(kHeadSegmentMax, HeadSegmentEnd(plan));
    EXPECT_EQ(plan.segments[2].end - plan.segments[2].start, plan.segments[1].end - plan.segments[1].start);
    EXPECT_GE(plan.segments[1].end - plan.segments[1].start, 336 * kMiB);
    ExpectCoverage(plan);
    PlanSegments(plan, 1024 * kMiB, 100 * kMiB, 4);
    EXPECT_EQ(100 * kMiB + kHeadSegmentMax, HeadSegmentEnd(plan));
    EXPECT_EQ(100 * kMiB, plan.segments[0].written);
    ExpectCoverage(plan);
    // Nothing left to fetch: one finished head.
    PlanSegments(plan, 3 * kMiB, 3 * kMiB, 4);
    ASSERT_EQ(1, plan.count);
    EXPECT_TRUE(AllSegmentsDone(plan));
}

TEST(SegmentPlan, ConnectionsWorkTheirSegmentsThenSplitTheLargestRest)
{
    SegmentPlan plan;
    PlanSegments(plan, 8 * kMiB, 0, 4);
    int64_t first = 0, end = 0;
    for (int32_t c = 0; c < 4; ++c) {
        ASSERT_TRUE(TakeSegmentWork(plan, c, first, end));
        EXPECT_EQ(c * 2 * kMiB, first);
        EXPECT_EQ(first + 2 * kMiB, end);
    }
    // Connection 1 finishes; 0 is half way, 2 and 3 barely started.
    EXPECT_EQ(2 * kMiB, Write(plan, 1, 3 * kMiB));  // cut at its end
    EXPECT_TRUE(OwnSegmentDone(plan, 1));
    Write(plan, 0, kMiB);
    Write(plan, 2, 100);
    Write(plan, 3, 4096);
    EXPECT_EQ(kMiB, ContiguousPrefix(plan));  // segment 0 is not finished

    // It takes the upper half of the largest unclaimed rest: segment 2's.
    ASSERT_TRUE(TakeSegmentWork(plan, 1, first, end));
    EXPECT_EQ(6 * kMiB, end);
    EXPECT_EQ(0, first % kSplitAlign);
    EXPECT_GT(first, 4 * kMiB + 100);
    EXPECT_LT(first, 6 * kMiB);
    ExpectCoverage(plan);
    // The old owner is cut at the split point and ends there.
    int64_t cut = first;
    EXPECT_EQ(cut - (4 * kMiB + 100), Write(plan, 2, 8 * kMiB));
    EXPECT_TRUE(OwnSegmentDone(plan, 2));
    EXPECT_EQ(0, Write(plan, 2, 10));

    // A connection that fails leaves its rest for others: the abandoned rest
    // goes before any split, from where it stopped.
    ReleaseSegment(plan, 3);
    EXPECT_EQ(1, AbandonedSegments(plan));
    ASSERT_TRUE(TakeSegmentWork(plan, 2, first, end));
    EXPECT_EQ(6 * kMiB + 4096, first);
    EXPECT_EQ(8 * kMiB, end);
    EXPECT_EQ(0, AbandonedSegments(plan));

    // Everyone writes to the end; nothing is written twice or left out.
    Write(plan, 0, 8 * kMiB);
    Write(plan, 1, 8 * kMiB);
    Write(plan, 2, 8 * kMiB);
    EXPECT_TRUE(AllSegmentsDone(plan));
    EXPECT_EQ(8 * kMiB, WrittenBytes(plan));
    for (int32_t c = 0; c < 4; ++c) ReleaseSegment(plan, c);
    // Finished neighbours merged, all but the head, whose bytes lie in the
    // named file: it ends where the first split left it.
    ASSERT_EQ(2, plan.count);
    EXPECT_EQ(2 * kMiB, HeadSegmentEnd(plan));
    EXPECT_FALSE(TakeSegmentWork(plan, 0, first, end));
}

TEST(SegmentPlan, SmallRestsAreNotSplitAndSlotsRunOut)
{
    SegmentPlan plan;
    PlanSegments(plan, 2 * kSplitMinBytes - 1, 0, 4);
    int64_t first = 0, end = 0;
    ASSERT_TRUE(TakeSegmentWork(plan, 0, first, end));
    EXPECT_FALSE(TakeSegmentWork(plan, 1, first, end));

    // Splitting until the slots are gone stops cleanly.
    PlanSegments(plan, 1LL << 40, 0, 1);
    ASSERT_TRUE(TakeSegmentWork(plan, 0, first, end));
    int32_t taken = 1;
    while (TakeSegmentWork(plan, taken, first, end)) ++taken;
    EXPECT_EQ(kMaxSegmentSlots, plan.count);
    EXPECT_EQ(kMaxSegmentSlots, taken);
    ExpectCoverage(plan);
}

// A resumed download whose missing bytes lie in one segment (the others
// finished in an earlier run) goes on over as many connections as a new
// plan of those bytes would use: the first takes the segment, the others
// split it, and the pieces cover it without overlap. A small rest stays on
// one connection.
TEST(SegmentPlan, AResumedRestInOneSegmentIsSplitAgainForTheConnections)
{
    SegmentPlan plan;
    ASSERT_TRUE(
        ParseSegmentPlan("0-6291456:6291456,6291456-12582912:6291456,12582912-18874368:6291456,"
                         "18874368-25165824:4096",
                         25165824, plan));
    const int32_t connections = ConnectionsForPlan(plan, 4);
    EXPECT_EQ(4, connections);
    EXPECT_EQ(1, AbandonedSegments(plan));
    for (int32_t connection = 0; connection < connections; ++connection) {
        int64_t first = 0;
        int64_t end = 0;
        ASSERT_TRUE(TakeSegmentWork(plan, connection, first, end)) << connection;
    }
    // Each connection owns a piece of at least a MiB, and the pieces hold
    // every missing byte.
    int64_t missing = 0;
    int32_t owned = 0;
    for (int32_t i = 0; i < plan.count; ++i) {
        const Segment& segment = plan.segments[i];
        if (segment.owner == kNoOwner) continue;
        ++owned;
        EXPECT_GE(segment.end - segment.start - segment.written, kMiB) << i;
        missing += segment.end - segment.start - segment.written;
    }
    EXPECT_EQ(4, owned);
    EXPECT_EQ(25165824 - 18874368 - 4096, missing);
    ExpectCoverage(plan);
    EXPECT_EQ(2, ConnectionsForPlan(plan, 2));

    ASSERT_TRUE(ParseSegmentPlan("0-3145728:3145728,3145728-6291456:1572864", 6291456, plan));
    EXPECT_EQ(1, ConnectionsForPlan(plan, 4));
    ASSERT_TRUE(ParseSegmentPlan("0-3145728:0,3145728-6291456:0", 6291456, plan));
    EXPECT_EQ(6, ConnectionsForPlan(plan, 8));
}

TEST(SegmentPlan, StoredTextRoundTripsAndBadTextIsRefused)
{
    SegmentPlan plan;
    PlanSegments(plan, 5 * kMiB + 3, 0, 3);
    int64_t first = 0, end = 0;
    // The first connection goes on from where it receives already.
    EXPECT_FALSE(TakeSegmentAt(plan, 0, 5, end));
    ASSERT_TRUE(TakeSegmentAt(plan, 0, 0, end));
    EXPECT_EQ(1744896, end);
    for (int32_t c = 1; c < 3; ++c) TakeSegmentWork(plan, c, first, end);
    Write(plan, 0, 1000);
    Write(plan, 1, 7);
    // Claimed but not confirmed bytes never reach the text.
    ClaimSegmentBytes(plan, 2, 500);

    char text[kSegmentPlanTextMax];
    ASSERT_TRUE(FormatSegmentPlan(plan, text, sizeof text));
    EXPECT_STREQ("0-1744896:1000,1744896-3489792:0,3489792-5242883:7", text);
    SegmentPlan back;
    ASSERT_TRUE(ParseSegmentPlan(text, 5 * kMiB + 3, back));
    ASSERT_EQ(3, back.count);
    EXPECT_EQ(1007, WrittenBytes(back));
    EXPECT_EQ(1000, ContiguousPrefix(back));
    for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(kNoOwner, back.segments[i].owner);

    char small[20];
    EXPECT_FALSE(FormatSegmentPlan(plan, small, sizeof small));
    EXPECT_STREQ("", small);

    const char* bad[] = {
        "",
        "0-100:0",                  // does not reach the total
        "0-100:0,100-200:0,1-2:0",  // out of order
        "0-100:101,100-200:0",      // more written than the segment holds
        "0-100:0,150-200:0",        // a gap
        "0-100:0;100-200:0",        // wrong separator
        "0-100:0,100-200:-1",
        "0-100:0,100-200:0,",
        "0-100:0,100-99999999999999999999:0",
    };
    for (const char* text : bad) {
        EXPECT_FALSE(ParseSegmentPlan(text, 200, back)) << text;
        EXPECT_EQ(0, back.count) << text;
    }
    ASSERT_TRUE(ParseSegmentPlan("0-100:100,100-150:50,150-180:30,180-200:3", 200, back));
    EXPECT_EQ(3, back.count);  // the finished two behind the head are one
    EXPECT_EQ(100, HeadSegmentEnd(back));
    EXPECT_EQ(183, ContiguousPrefix(back));
}

}  // namespace

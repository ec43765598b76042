// How one download's bytes are shared among its connections: the file is
// cut into segments, each fetched over a connection of its own; a connection
// that runs out of work takes over an abandoned segment or half of the
// largest unclaimed rest. The head segment (the one at byte 0) is written
// into the named file itself, so that file always holds a prefix without
// gaps; every other segment goes into a side file at its own offsets. No
// platform calls; the caller holds any lock.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t kMaxConnectionsPerItem = 16;
// More slots than connections: every split adds one, and finished
// neighbours are merged again.
constexpr int32_t kMaxSegmentSlots = 64;
// A file gets no more segments than it has whole MiB: connections of their
// own do not pay for themselves on less.
constexpr int64_t kSegmentMinBytes = 1 << 20;
// Half of a rest is only taken over when both halves keep this much.
constexpr int64_t kSplitMinBytes = 256 * 1024;
// The head segment of a new plan is no longer than this: at the end its
// bytes are copied into the side file, and the connection that fetched it
// goes on with split work there.
constexpr int64_t kHeadSegmentMax = 16 << 20;
// Split points fall on these boundaries, so writes stay aligned.
constexpr int64_t kSplitAlign = 4096;
constexpr int32_t kNoOwner = -1;

struct Segment {
    int64_t start;    // first byte
    int64_t end;      // one past the last byte
    int64_t written;  // bytes from start that have reached the file
    int64_t claimed;  // bytes from start handed to the owner to write (>= written)
    int32_t owner;    // the connection fetching it, or kNoOwner
};

// Segments in order of start, each ending where the next begins, the first
// at 0 and the last at total.
struct SegmentPlan {
    int64_t total;
    int32_t count;
    Segment segments[kMaxSegmentSlots];
};

// How many segments a rest of remaining bytes gets with at most connections.
int32_t SegmentCountFor(int64_t remaining, int32_t connections);

// A plan for a file of total bytes whose first offset bytes are present,
// the rest cut into SegmentCountFor equal segments; the first of them is
// the head segment, which starts at 0 with offset bytes written. Nobody
// owns any yet.
void PlanSegments(SegmentPlan& plan, int64_t total, int64_t offset, int32_t connections);

// The next work for connection: its own unfinished segment, else the
// abandoned segment with the most left, else the upper half of the largest
// unclaimed rest. Writes the byte range to fetch ([first, end)). False when
// there is nothing the connection should take.
bool TakeSegmentWork(SegmentPlan& plan, int32_t connection, int64_t& first, int64_t& end);

// The abandoned segment whose next missing byte is position, for a
// connection already receiving from there; end is where it stops.
bool TakeSegmentAt(SegmentPlan& plan, int32_t connection, int64_t position, int64_t& end);

// Hands up to count bytes of the connection's segment to it for writing;
// returns how many it may write (fewer once the segment was split or is done).
int64_t ClaimSegmentBytes(SegmentPlan& plan, int32_t connection, int64_t count);
// Records that count claimed bytes reached the file.
void ConfirmSegmentBytes(SegmentPlan& plan, int32_t connection, int64_t count);
// True when the connection's segment has every byte written.
bool OwnSegmentDone(const SegmentPlan& plan, int32_t connection);
// The connection stops: its segment keeps what was written and is free for
// others; finished neighbours merge.
void ReleaseSegment(SegmentPlan& plan, int32_t connection);

// True when the connection fetches the head segment (into the named file).
bool OwnsHeadSegment(const SegmentPlan& plan, int32_t connection);
// Where the head segment ends: the named file's share of the finished file.
int64_t HeadSegmentEnd(const SegmentPlan& plan);
// A stored plan measured against the files it was written into: the head
// counts no more than headBytes (the named file's size), and the other
// segments count nothing unless restKept (the side file is there).
void TrustSegmentBytes(SegmentPlan& plan, int64_t headBytes, bool restKept);
// How the two files of a finished download become one: true copies the
// head's headBytes into the side file, which then replaces the named file;
// false appends the side file's rest to the named file. The smaller share
// is copied.
bool MergeCopiesHead(int64_t headBytes, int64_t total);

int64_t WrittenBytes(const SegmentPlan& plan);
bool AllSegmentsDone(const SegmentPlan& plan);
// Bytes present from byte 0 without a gap: what a reader that knows no
// segments may resume from.
int64_t ContiguousPrefix(const SegmentPlan& plan);
// Segments nobody owns that still miss bytes.
int32_t AbandonedSegments(const SegmentPlan& plan);
// Connections a run of the plan uses, given up to connections: as many as
// a new plan of the missing bytes would have, so a resumed download whose
// work is left in one large segment splits it again.
int32_t ConnectionsForPlan(const SegmentPlan& plan, int32_t connections);

// The plan as stored text: "start-end:written" for each segment, separated
// by commas. Returns false when capacity is too small (out is then empty).
bool FormatSegmentPlan(const SegmentPlan& plan, char* out, size_t capacity);
// Reads such text for a file of total bytes. False, with the plan empty,
// unless the segments cover exactly 0 to total in order with sane counts.
bool ParseSegmentPlan(const char* text, int64_t total, SegmentPlan& plan);
// Room for the longest text FormatSegmentPlan writes.
constexpr size_t kSegmentPlanTextMax = kMaxSegmentSlots * 64;

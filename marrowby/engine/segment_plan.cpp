// Segments of one download: planning, handing out work, dynamic splitting
// and the stored text.
#include "marrowby/engine/segment_plan.h"

#include <cstdio>
#include <cstring>

#include "marrowby/engine/decimal.h"

namespace {

int64_t Length(const Segment& segment)
{
    return segment.end - segment.start;
}

bool Done(const Segment& segment)
{
    return segment.written == Length(segment);
}

int64_t Unclaimed(const Segment& segment)
{
    return Length(segment) - segment.claimed;
}

int32_t FindOwned(const SegmentPlan& plan, int32_t connection)
{
    for (int32_t i = 0; i < plan.count; ++i) {
        if (plan.segments[i].owner == connection) return i;
    }
    return -1;
}

Segment MakeSegment(int64_t start, int64_t end, int64_t written)
{
    Segment segment = {start, end, written, written, kNoOwner};
    return segment;
}

// Finished segments that nobody owns become one with a finished neighbour
// before them, so the slots last however often work is split. The head
// segment never takes a neighbour in: its bytes lie in another file.
void MergeFinished(SegmentPlan& plan)
{
    int32_t kept = 0;
    for (int32_t i = 0; i < plan.count; ++i) {
        Segment& current = plan.segments[i];
        if (kept > 1) {
            Segment& previous = plan.segments[kept - 1];
            if (Done(previous) && previous.owner == kNoOwner && Done(current) && current.owner == kNoOwner) {
                previous.end = current.end;
                previous.written = previous.claimed = Length(previous);
                continue;
            }
        }
        plan.segments[kept++] = current;
    }
    plan.count = kept;
}

// The upper half of the segment's unclaimed rest becomes a segment of its
// own behind it. Returns its index, or -1 when the rest is too small or no
// slot is free.
int32_t SplitSegment(SegmentPlan& plan, int32_t index)
{
    if (plan.count >= kMaxSegmentSlots) return -1;
    Segment& segment = plan.segments[index];
    int64_t from = segment.start + segment.claimed;
    int64_t rest = segment.end - from;
    if (rest < 2 * kSplitMinBytes) return -1;
    int64_t middle = from + rest / 2;
    middle += (kSplitAlign - middle % kSplitAlign) % kSplitAlign;
    if (middle >= segment.end) return -1;
    memmove(&plan.segments[index + 2], &plan.segments[index + 1],
            sizeof(Segment) * static_cast<size_t>(plan.count - index - 1));
    plan.segments[index + 1] = MakeSegment(middle, segment.end, 0);
    segment.end = middle;
    ++plan.count;
    return index + 1;
}

// Index of the abandoned segment with most bytes missing, or -1.
int32_t LargestAbandoned(const SegmentPlan& plan)
{
    int32_t best = -1;
    for (int32_t i = 0; i < plan.count; ++i) {
        const Segment& segment = plan.segments[i];
        if (segment.owner != kNoOwner || Done(segment)) continue;
        if (best < 0 || Unclaimed(segment) > Unclaimed(plan.segments[best])) best = i;
    }
    return best;
}

int32_t LargestUnclaimed(const SegmentPlan& plan)
{
    int32_t best = -1;
    for (int32_t i = 0; i < plan.count; ++i) {
        if (best < 0 || Unclaimed(plan.segments[i]) > Unclaimed(plan.segments[best])) best = i;
    }
    return best;
}

bool Assign(SegmentPlan& plan, int32_t index, int32_t connection, int64_t& first, int64_t& end)
{
    Segment& segment = plan.segments[index];
    segment.owner = connection;
    segment.claimed = segment.written;
    first = segment.start + segment.written;
    end = segment.end;
    return true;
}

// Reads "start-end:written" at text; moves text behind it.
bool ReadSegmentText(const char*& text, Segment& segment)
{
    int64_t numbers[3] = {0, 0, 0};
    const char separators[2] = {'-', ':'};
    for (int i = 0; i < 3; ++i) {
        if (*text < '0' || *text > '9') return false;
        const char* digits = text;
        while (*text >= '0' && *text <= '9') ++text;
        if (!ReadDecimal64(digits, numbers[i])) return false;
        if (i < 2 && *text != separators[i]) return false;
        if (i < 2) ++text;
    }
    segment = MakeSegment(numbers[0], numbers[1], numbers[2]);
    return true;
}

}  // namespace

int32_t SegmentCountFor(int64_t remaining, int32_t connections)
{
    if (connections < 1) connections = 1;
    if (connections > kMaxConnectionsPerItem) connections = kMaxConnectionsPerItem;
    int64_t bySize = remaining / kSegmentMinBytes;
    if (bySize < 1) return 1;
    return bySize < connections ? static_cast<int32_t>(bySize) : connections;
}

void PlanSegments(SegmentPlan& plan, int64_t total, int64_t offset, int32_t connections)
{
    plan.total = total;
    plan.count = 0;
    if (offset < 0 || offset > total) offset = 0;
    int64_t remaining = total - offset;
    if (remaining == 0) {
        if (total > 0) plan.segments[plan.count++] = MakeSegment(0, total, total);
        return;
    }
    int32_t count = SegmentCountFor(remaining, connections);
    int64_t piece = remaining / count;
    piece -= piece % kSplitAlign;
    // The bytes present belong to the head segment: it goes on behind them,
    // for at most kHeadSegmentMax more; the others share the rest.
    int64_t headEnd = count == 1 ? total : offset + (piece < kHeadSegmentMax ? piece : kHeadSegmentMax);
    plan.segments[plan.count++] = MakeSegment(0, headEnd, offset);
    if (count == 1) return;
    if (headEnd - offset < piece) {
        piece = (total - headEnd) / (count - 1);
        piece -= piece % kSplitAlign;
    }
    int64_t start = headEnd;
    for (int32_t i = 1; i < count; ++i) {
        int64_t end = i + 1 == count ? total : start + piece;
        plan.segments[plan.count++] = MakeSegment(start, end, 0);
        start = end;
    }
}

bool TakeSegmentWork(SegmentPlan& plan, int32_t connection, int64_t& first, int64_t& end)
{
    int32_t own = FindOwned(plan, connection);
    if (own >= 0 && !Done(plan.segments[own])) return Assign(plan, own, connection, first, end);
    if (own >= 0) ReleaseSegment(plan, connection);
    int32_t abandoned = LargestAbandoned(plan);
    if (abandoned >= 0) return Assign(plan, abandoned, connection, first, end);
    int32_t largest = LargestUnclaimed(plan);
    if (largest < 0) return false;
    int32_t split = SplitSegment(plan, largest);
    if (split < 0) return false;
    return Assign(plan, split, connection, first, end);
}

bool TakeSegmentAt(SegmentPlan& plan, int32_t connection, int64_t position, int64_t& end)
{
    for (int32_t i = 0; i < plan.count; ++i) {
        const Segment& segment = plan.segments[i];
        if (segment.owner != kNoOwner || Done(segment) || segment.start + segment.written != position) continue;
        int64_t first = 0;
        return Assign(plan, i, connection, first, end);
    }
    return false;
}

int64_t ClaimSegmentBytes(SegmentPlan& plan, int32_t connection, int64_t count)
{
    int32_t own = FindOwned(plan, connection);
    if (own < 0 || count <= 0) return 0;
    Segment& segment = plan.segments[own];
    int64_t allowed = Unclaimed(segment) < count ? Unclaimed(segment) : count;
    segment.claimed += allowed;
    return allowed;
}

void ConfirmSegmentBytes(SegmentPlan& plan, int32_t connection, int64_t count)
{
    int32_t own = FindOwned(plan, connection);
    if (own < 0) return;
    Segment& segment = plan.segments[own];
    segment.written += count;
    if (segment.written > segment.claimed) segment.written = segment.claimed;
}

bool OwnSegmentDone(const SegmentPlan& plan, int32_t connection)
{
    int32_t own = FindOwned(plan, connection);
    return own >= 0 && Done(plan.segments[own]);
}

void ReleaseSegment(SegmentPlan& plan, int32_t connection)
{
    int32_t own = FindOwned(plan, connection);
    if (own < 0) return;
    plan.segments[own].owner = kNoOwner;
    plan.segments[own].claimed = plan.segments[own].written;
    MergeFinished(plan);
}

bool OwnsHeadSegment(const SegmentPlan& plan, int32_t connection)
{
    return plan.count > 0 && plan.segments[0].owner == connection;
}

int64_t HeadSegmentEnd(const SegmentPlan& plan)
{
    return plan.count > 0 ? plan.segments[0].end : 0;
}

void TrustSegmentBytes(SegmentPlan& plan, int64_t headBytes, bool restKept)
{
    if (plan.count == 0) return;
    Segment& head = plan.segments[0];
    if (headBytes < 0) headBytes = 0;
    if (head.written > headBytes) head.written = head.claimed = headBytes;
    if (restKept) return;
    for (int32_t i = 1; i < plan.count; ++i) plan.segments[i].written = plan.segments[i].claimed = 0;
}

bool MergeCopiesHead(int64_t headBytes, int64_t total)
{
    return headBytes <= total - headBytes;
}

int64_t WrittenBytes(const SegmentPlan& plan)
{
    int64_t sum = 0;
    for (int32_t i = 0; i < plan.count; ++i) sum += plan.segments[i].written;
    return sum;
}

bool AllSegmentsDone(const SegmentPlan& plan)
{
    return plan.count > 0 && WrittenBytes(plan) == plan.total;
}

int64_t ContiguousPrefix(const SegmentPlan& plan)
{
    int64_t prefix = 0;
    for (int32_t i = 0; i < plan.count; ++i) {
        const Segment& segment = plan.segments[i];
        prefix += segment.written;
        if (!Done(segment)) break;
    }
    return prefix;
}

int32_t AbandonedSegments(const SegmentPlan& plan)
{
    int32_t count = 0;
    for (int32_t i = 0; i < plan.count; ++i) {
        if (plan.segments[i].owner == kNoOwner && !Done(plan.segments[i])) ++count;
    }
    return count;
}

int32_t ConnectionsForPlan(const SegmentPlan& plan, int32_t connections)
{
    return SegmentCountFor(plan.total - WrittenBytes(plan), connections);
}

bool FormatSegmentPlan(const SegmentPlan& plan, char* out, size_t capacity)
{
    size_t used = 0;
    if (capacity == 0) return false;
    out[0] = '\0';
    for (int32_t i = 0; i < plan.count; ++i) {
        const Segment& segment = plan.segments[i];
        char numbers[3][kDecimal64TextSize];
        FormatDecimal64(segment.start, numbers[0], sizeof numbers[0]);
        FormatDecimal64(segment.end, numbers[1], sizeof numbers[1]);
        FormatDecimal64(segment.written, numbers[2], sizeof numbers[2]);
        size_t length = strlen(numbers[0]) + strlen(numbers[1]) + strlen(numbers[2]) + 3;
        if (used + length >= capacity) {
            out[0] = '\0';
            return false;
        }
        if (i > 0) out[used++] = ',';
        used +=
            static_cast<size_t>(snprintf(out + used, capacity - used, "%s-%s:%s", numbers[0], numbers[1], numbers[2]));
    }
    return true;
}

bool ParseSegmentPlan(const char* text, int64_t total, SegmentPlan& plan)
{
    plan.total = total;
    plan.count = 0;
    int64_t expectedStart = 0;
    while (text != nullptr && *text != '\0' && plan.count < kMaxSegmentSlots) {
        Segment segment;
        const char* read = text;
        if (!ReadSegmentText(read, segment) || segment.start != expectedStart || segment.end <= segment.start ||
            segment.written < 0 || segment.written > Length(segment)) {
            break;
        }
        plan.segments[plan.count++] = segment;
        expectedStart = segment.end;
        text = read;
        if (*text == ',' && *++text == '\0') --text;  // a comma must lead to a segment
    }
    if (text == nullptr || *text != '\0' || plan.count == 0 || expectedStart != total) {
        plan.count = 0;
        return false;
    }
    MergeFinished(plan);
    return true;
}

#include "marrowby/engine/chunked_body.h"

#include <cstring>

namespace {

// Sizes beyond 60 bits are refused: no real chunk is that long, and the sum
// of the bytes must stay countable.
constexpr int32_t kMaxSizeDigits = 15;

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The size line has ended: a chunk follows, or the last chunk's trailers.
void EndSizeLine(ChunkedBody& body)
{
    body.phase = body.remaining > 0 ? kChunkData : kChunkTrailerStart;
    body.sawCr = 0;
}

// A line end where CR LF or a bare LF may stand. Returns false for any
// other byte, and for a CR that is not followed by LF.
bool TakeLineEnd(ChunkedBody& body, char c, bool& ended)
{
    ended = false;
    if (c == '\n') {
        ended = true;
        return true;
    }
    if (c == '\r' && !body.sawCr) {
        body.sawCr = 1;
        return true;
    }
    return false;
}

// One framing byte. Returns false when the framing is broken.
bool StepFraming(ChunkedBody& body, char c)
{
    bool ended = false;
    switch (body.phase) {
    case kChunkSize: {
        int value = HexValue(c);
        if (value >= 0) {
            if (++body.digits > kMaxSizeDigits) return false;
            body.remaining = body.remaining * 16 + value;
            return true;
        }
        if (body.digits == 0) return false;
        body.phase = kChunkSizeTail;
        return StepFraming(body, c);
    }
    case kChunkSizeTail:
        if (body.sawCr == 0 && (c == ' ' || c == '\t')) return true;
        if (body.sawCr == 0 && c == ';') {
            body.phase = kChunkExtension;
            return true;
        }
        if (!TakeLineEnd(body, c, ended)) return false;
        if (ended) EndSizeLine(body);
        return true;
    case kChunkExtension:
        if (c == '\n') EndSizeLine(body);
        return true;
    case kChunkDataEnd:
        if (!TakeLineEnd(body, c, ended)) return false;
        if (ended) {
            body.phase = kChunkSize;
            body.digits = 0;
            body.remaining = 0;
            body.sawCr = 0;
        }
        return true;
    case kChunkTrailerStart:
        if (c == '\n') {
            body.phase = kChunkDone;
        } else if (c == '\r') {
            body.phase = kChunkTrailerEnd;
        } else {
            body.phase = kChunkTrailerLine;
        }
        return true;
    case kChunkTrailerLine:
        if (c == '\n') body.phase = kChunkTrailerStart;
        return true;
    case kChunkTrailerEnd:
        if (c != '\n') return false;
        body.phase = kChunkDone;
        return true;
    default: return false;
    }
}

}  // namespace

void ResetChunkedBody(ChunkedBody& body)
{
    body.phase = kChunkSize;
    body.digits = 0;
    body.remaining = 0;
    body.sawCr = 0;
}

int32_t DecodeChunked(ChunkedBody& body, char* data, size_t length, size_t& count)
{
    count = 0;
    size_t i = 0;
    while (i < length && body.phase != kChunkDone && body.phase != kChunkBroken) {
        if (body.phase == kChunkData) {
            // Payload moves down over the framing before it; memmove, as the
            // two ranges overlap when little framing lay between them.
            size_t available = length - i;
            size_t take =
                static_cast<uint64_t>(body.remaining) < available ? static_cast<size_t>(body.remaining) : available;
            if (count != i) std::memmove(data + count, data + i, take);
            count += take;
            i += take;
            body.remaining -= static_cast<int64_t>(take);
            if (body.remaining == 0) body.phase = kChunkDataEnd;
            continue;
        }
        if (!StepFraming(body, data[i])) body.phase = kChunkBroken;
        ++i;
    }
    if (body.phase == kChunkBroken) return kChunkedMalformed;
    return body.phase == kChunkDone ? kChunkedDone : kChunkedMore;
}

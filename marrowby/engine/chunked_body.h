// Decoding a body sent with "Transfer-Encoding: chunked": the chunk sizes,
// extensions, line ends and trailers are framing and never reach the file.
#pragma once

#include <cstddef>
#include <cstdint>

// Where the decoder stands between two received pieces.
enum ChunkedPhase : int32_t {
    kChunkSize = 0,      // hex digits of the next chunk's size
    kChunkSizeTail,      // after the digits: spaces, an extension, the line end
    kChunkExtension,     // ";name=value" up to the line end
    kChunkData,          // payload bytes of the current chunk
    kChunkDataEnd,       // the CR LF after the payload
    kChunkTrailerStart,  // first byte of a trailer line (or of the final empty line)
    kChunkTrailerLine,   // rest of a trailer line
    kChunkTrailerEnd,    // LF after the CR of the final empty line
    kChunkDone,          // the last chunk and its trailers have arrived
    kChunkBroken,        // the framing was wrong; everything later is refused
};

struct ChunkedBody {
    int32_t phase;
    int32_t digits;     // hex digits read of the current size
    int64_t remaining;  // payload bytes still to come in the current chunk
    int32_t sawCr;      // a CR was read where only LF may follow
};

constexpr int32_t kChunkedMore = 0;
constexpr int32_t kChunkedDone = 1;
constexpr int32_t kChunkedMalformed = 2;

void ResetChunkedBody(ChunkedBody& body);

// Decodes length received bytes in place: the payload bytes among them are
// moved to the start of data and their number is put in count. Bytes after
// the final chunk are dropped. Returns kChunkedMore, kChunkedDone or
// kChunkedMalformed (count then holds the payload decoded before the fault).
int32_t DecodeChunked(ChunkedBody& body, char* data, size_t length, size_t& count);

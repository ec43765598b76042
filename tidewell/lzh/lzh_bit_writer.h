// Bit output of the -lh5- packer: most significant bit first, the order the
// decoder's bit reader takes them, gathered into bytes and handed to a sink
// a buffer at a time.
#pragma once

#include <cstddef>
#include <cstdint>

// Where packed bytes go. write returns false when they could not be kept.
struct LzhByteSink {
    void* context;
    bool (*write)(void* context, const uint8_t* data, size_t length);
};

enum { LZH_BIT_BUFFER_SIZE = 16384 };

struct LzhBitWriter {
    LzhByteSink sink;
    uint64_t bits;     // pending bits in the low `count` bits
    unsigned count;    // below 8 between calls
    size_t used;       // bytes in `buffer`
    uint64_t written;  // bytes handed to the sink or buffered
    bool failed;       // the sink refused bytes
    uint8_t buffer[LZH_BIT_BUFFER_SIZE];
};

void LzhBitWriterStart(LzhBitWriter* w, LzhByteSink sink);

// Hands the buffered bytes to the sink.
void LzhBitWriterDrain(LzhBitWriter* w);

// Pads the last byte with zero bits and hands everything to the sink.
void LzhBitWriterFinish(LzhBitWriter* w);

// Appends the low n bits of value (n at most 32; higher bits must be 0).
inline void LzhPutBits(LzhBitWriter* w, uint32_t value, unsigned n)
{
    w->bits = (w->bits << n) | value;
    w->count += n;
    while (w->count >= 8) {
        w->count -= 8;
        w->buffer[w->used++] = uint8_t(w->bits >> w->count);
        if (w->used == LZH_BIT_BUFFER_SIZE) LzhBitWriterDrain(w);
    }
}

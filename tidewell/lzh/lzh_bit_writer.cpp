#include "tidewell/lzh/lzh_bit_writer.h"

void LzhBitWriterStart(LzhBitWriter* w, LzhByteSink sink)
{
    w->sink = sink;
    w->bits = 0;
    w->count = 0;
    w->used = 0;
    w->written = 0;
    w->failed = false;
}

void LzhBitWriterDrain(LzhBitWriter* w)
{
    if (w->used > 0 && !w->failed && !w->sink.write(w->sink.context, w->buffer, w->used)) w->failed = true;
    w->written += w->used;
    w->used = 0;
}

void LzhBitWriterFinish(LzhBitWriter* w)
{
    if (w->count > 0) LzhPutBits(w, 0, 8 - w->count);
    LzhBitWriterDrain(w);
}

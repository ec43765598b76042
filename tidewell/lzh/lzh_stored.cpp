// -lh0- and -lz4-: the data is the entry itself, copied a dictionary at a time.
#include "tidewell/lzh/lzh_decoder_internal.h"

void LzhFillStored()
{
    LzhDecoderState& d = g_lzhDecoder;
    uint64_t remaining = d.originalSize - d.decodedCount;
    uint32_t want = remaining < d.dictionarySize ? uint32_t(remaining) : d.dictionarySize;
    uint32_t got = LzhFileRead(d.file, d.dictionary, want);
    d.fillPosition = got;
    d.available = got;
    d.decodedCount += got;
    // A file that ends early ends the entry with what it held.
    if (got < want) d.finished = true;
}

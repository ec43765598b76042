#include "tidewell/lzh/lzh_header_writer.h"

#include <cstring>

#include "tidewell/lzh/lzh_crc16.h"

namespace {

enum { kExtHeaderCrc = 0x00, kExtName = 0x01, kExtDirectory = 0x02, kExtWindowsTimes = 0x41 };

const uint64_t kUnixEpochFileTime = 116444736000000000ull;

struct HeaderBytes {
    uint8_t* out;
    size_t length;
};

void Put8(HeaderBytes* h, unsigned value)
{
    h->out[h->length++] = uint8_t(value);
}

void Put16(HeaderBytes* h, unsigned value)
{
    Put8(h, value & 0xFF);
    Put8(h, (value >> 8) & 0xFF);
}

void Put32(HeaderBytes* h, uint32_t value)
{
    Put16(h, value & 0xFFFF);
    Put16(h, value >> 16);
}

void Put64(HeaderBytes* h, uint64_t value)
{
    Put32(h, uint32_t(value));
    Put32(h, uint32_t(value >> 32));
}

// One extended header: its type and data, then the size field of the next.
void PutExtended(HeaderBytes* h, unsigned type, const uint8_t* data, size_t length)
{
    Put8(h, type);
    std::memcpy(h->out + h->length, data, length);
    h->length += length;
    Put16(h, 0);  // patched when another header follows
}

// Sets the size field just before the extended header that starts at
// `start` (its type byte), once the header's length is known.
void PatchSize(HeaderBytes* h, size_t start)
{
    const size_t size = h->length - start;
    h->out[start - 2] = uint8_t(size);
    h->out[start - 1] = uint8_t(size >> 8);
}

}  // namespace

uint32_t LzhUnixTime(uint64_t fileTime)
{
    if (fileTime <= kUnixEpochFileTime) return 0;
    const uint64_t seconds = (fileTime - kUnixEpochFileTime) / 10000000u;
    return seconds > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(seconds);
}

size_t LzhComposeHeader(const LzhHeaderInfo* info, uint8_t* out)
{
    const size_t directoryLength = std::strlen(info->directory);
    const size_t nameLength = std::strlen(info->name);
    if (directoryLength > LZH_HEADER_MAX_TEXT || nameLength > LZH_HEADER_MAX_TEXT) return 0;

    HeaderBytes h = {out, 0};
    Put16(&h, 0);  // total length, set below
    for (int i = 0; i < 5; i++) Put8(&h, (unsigned char)info->method[i]);
    Put32(&h, info->packedSize);
    Put32(&h, info->originalSize);
    Put32(&h, LzhUnixTime(info->lastWriteTime));
    Put8(&h, 0x20);  // reserved; the archive attribute by custom
    Put8(&h, 2);     // header level
    Put16(&h, info->dataCrc);
    Put8(&h, 'w');  // made on Windows
    Put16(&h, 0);   // size of the first extended header

    // Each extended header's size counts its type, data and the size field
    // after it.
    size_t start = h.length;
    const uint8_t noCrc[2] = {0, 0};
    PutExtended(&h, kExtHeaderCrc, noCrc, 2);
    const size_t crcAt = start + 1;
    PatchSize(&h, start);
    if (nameLength > 0) {
        start = h.length;
        PutExtended(&h, kExtName, reinterpret_cast<const uint8_t*>(info->name), nameLength);
        PatchSize(&h, start);
    }
    if (directoryLength > 0) {
        start = h.length;
        PutExtended(&h, kExtDirectory, reinterpret_cast<const uint8_t*>(info->directory), directoryLength);
        PatchSize(&h, start);
    }
    if (info->creationTime || info->lastAccessTime || info->lastWriteTime) {
        uint8_t times[24];
        HeaderBytes t = {times, 0};
        Put64(&t, info->creationTime);
        Put64(&t, info->lastWriteTime);
        Put64(&t, info->lastAccessTime);
        start = h.length;
        PutExtended(&h, kExtWindowsTimes, times, sizeof times);
        PatchSize(&h, start);
    }
    // A total length whose low byte is 0 would read as the end mark: one
    // byte of padding, which the total length covers.
    if ((h.length & 0xFF) == 0) Put8(&h, 0);
    out[0] = uint8_t(h.length);
    out[1] = uint8_t(h.length >> 8);
    // The header CRC covers the whole header with its own field at 0.
    const uint16_t crc = LzhCrc16Update(0, out, h.length);
    out[crcAt] = uint8_t(crc);
    out[crcAt + 1] = uint8_t(crc >> 8);
    return h.length;
}

#include "tidewell/lzh/lzh_crc16.h"

namespace {

struct Crc16Table {
    uint16_t entries[256];
    constexpr Crc16Table() : entries()
    {
        for (unsigned i = 0; i < 256; i++) {
            unsigned crc = i;
            for (int bit = 0; bit < 8; bit++) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
            entries[i] = uint16_t(crc);
        }
    }
};

constexpr Crc16Table kTable;

}  // namespace

uint16_t LzhCrc16Update(uint16_t crc, const uint8_t* data, size_t length)
{
    unsigned value = crc;
    for (size_t i = 0; i < length; i++) value = kTable.entries[(value ^ data[i]) & 0xFF] ^ (value >> 8);
    return uint16_t(value);
}

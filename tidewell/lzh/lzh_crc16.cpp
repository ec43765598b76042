#include "tidewell/lzh/lzh_crc16.h"

namespace {

// Eight tables: row 0 is the usual one-byte table; row k gives the effect of
// a byte followed by k zero bytes, so eight bytes cost eight independent
// lookups instead of a chain of eight dependent ones.
struct Crc16Tables {
    uint16_t rows[8][256];
    constexpr Crc16Tables() : rows()
    {
        for (unsigned i = 0; i < 256; i++) {
            unsigned crc = i;
            for (int bit = 0; bit < 8; bit++) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
            rows[0][i] = uint16_t(crc);
        }
        for (int k = 1; k < 8; k++)
            for (unsigned i = 0; i < 256; i++)
                rows[k][i] = uint16_t((rows[k - 1][i] >> 8) ^ rows[0][rows[k - 1][i] & 0xFF]);
    }
};

constexpr Crc16Tables kTables;

}  // namespace

uint16_t LzhCrc16Update(uint16_t crc, const uint8_t* data, size_t length)
{
    const auto& t = kTables.rows;
    unsigned value = crc;
    // The register is 16 bits wide, so it meets only the first two bytes.
    for (; length >= 8; length -= 8, data += 8) {
        value = t[7][(value ^ data[0]) & 0xFF] ^ t[6][((value >> 8) ^ data[1]) & 0xFF] ^ t[5][data[2]] ^ t[4][data[3]] ^
                t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
    }
    for (size_t i = 0; i < length; i++) value = t[0][(value ^ data[i]) & 0xFF] ^ (value >> 8);
    return uint16_t(value);
}

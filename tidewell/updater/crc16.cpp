#include "tidewell/updater/crc16.h"

namespace {

// Row 0, entry i: the register after shifting i << 8 left eight times, with
// 0x1021 folded in after each shift that carries a 1 out. Row k: the effect
// of a byte followed by k zero bytes, so that eight bytes are eight
// independent lookups rather than a chain of eight.
struct Crc16Tables {
    uint16_t rows[8][256];
    constexpr Crc16Tables() : rows()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t crc = i << 8;
            for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) : (crc << 1);
            rows[0][i] = static_cast<uint16_t>(crc & 0xFFFF);
        }
        for (int k = 1; k < 8; ++k)
            for (uint32_t i = 0; i < 256; ++i)
                rows[k][i] = static_cast<uint16_t>(((rows[k - 1][i] << 8) & 0xFFFF) ^ rows[0][rows[k - 1][i] >> 8]);
    }
};

constexpr Crc16Tables kTables;
static_assert(kTables.rows[0][1] == 0x1021, "table entry 1 is the polynomial");

}  // namespace

uint16_t Crc16Update(const void* data, int32_t length, uint16_t crc)
{
    const auto& t = kTables.rows;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    uint32_t value = crc;
    int32_t i = 0;
    // The register meets only the first two bytes of each eight.
    for (; length - i >= 8; i += 8) {
        const uint8_t* b = bytes + i;
        value = t[7][(b[0] ^ (value >> 8)) & 0xFF] ^ t[6][(b[1] ^ value) & 0xFF] ^ t[5][b[2]] ^ t[4][b[3]] ^
                t[3][b[4]] ^ t[2][b[5]] ^ t[1][b[6]] ^ t[0][b[7]];
    }
    for (; i < length; ++i) value = t[0][(bytes[i] ^ (value >> 8)) & 0xFF] ^ ((value << 8) & 0xFFFF);
    return static_cast<uint16_t>(value);
}

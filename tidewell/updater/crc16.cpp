#include "tidewell/updater/crc16.h"

#include <array>

namespace {

// Entry i is the register after shifting i << 8 left eight times, with 0x1021
// folded in after each shift that carries a 1 out: one lookup per byte.
constexpr std::array<uint16_t, 256> MakeCrc16Table()
{
    std::array<uint16_t, 256> table = {};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) : (crc << 1);
        table[i] = static_cast<uint16_t>(crc & 0xFFFF);
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrc16Table = MakeCrc16Table();
static_assert(kCrc16Table[1] == 0x1021, "table entry 1 is the polynomial");

}  // namespace

uint16_t Crc16Update(const void* data, int32_t length, uint16_t crc)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    for (int32_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>(kCrc16Table[(bytes[i] ^ (crc >> 8)) & 0xFF] ^ ((crc << 8) & 0xFFFF));
    return crc;
}

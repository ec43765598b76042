// CRC-16 of the update archive: polynomial 0x1021, most significant bit
// first, initial value 0xFFFF, no reflection and no final exclusive-or
// (CRC-16/CCITT-FALSE; "123456789" gives 0x29B1).
#pragma once

#include <cstdint>

constexpr uint16_t kCrc16Initial = 0xFFFF;

// The CRC after the bytes of data; a length of 0 or less returns crc unchanged.
uint16_t Crc16Update(const void* data, int32_t length, uint16_t crc);

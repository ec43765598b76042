// The CRC-16 that LZH headers store for each entry's original data
// (reflected polynomial 0xA001, initial value 0), kept as a running value.
#pragma once

#include <cstddef>
#include <cstdint>

// Continues `crc` over `length` more bytes; start from 0.
uint16_t LzhCrc16Update(uint16_t crc, const uint8_t* data, size_t length);

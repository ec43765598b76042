// Verifies an entry's decoded bytes against the original size and CRC-16
// that its header stores: feed it everything LzhRead hands out, then ask
// at the entry's end. A decoder fault or damaged data then cannot pass as
// a good file.
#pragma once

#include <cstdint>

#include "tidewell/lzh/lzh_archive.h"

struct LzhEntryCheck {
    uint32_t expectedSize;
    uint16_t expectedCrc;
    uint64_t count;  // bytes seen so far
    uint16_t crc;    // CRC-16 of the bytes seen so far
};

enum LzhCheckResult {
    LZH_CHECK_OK = 0,
    LZH_CHECK_SIZE = 1,  // more or fewer bytes than the original size
    LZH_CHECK_CRC = 2    // the right size, but not the stored CRC-16
};

void LzhCheckStart(LzhEntryCheck* check, const LzhEntry* entry);
void LzhCheckAdd(LzhEntryCheck* check, const uint8_t* data, uint32_t length);
LzhCheckResult LzhCheckFinish(const LzhEntryCheck* check);

// A short English description of a result, for messages.
const char* LzhCheckResultText(LzhCheckResult result);

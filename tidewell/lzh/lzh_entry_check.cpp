#include "tidewell/lzh/lzh_entry_check.h"

#include "tidewell/lzh/lzh_crc16.h"

void LzhCheckStart(LzhEntryCheck* check, const LzhEntry* entry)
{
    check->expectedSize = entry->originalSize;
    check->expectedCrc = entry->dataCrc;
    check->count = 0;
    check->crc = 0;
}

void LzhCheckAdd(LzhEntryCheck* check, const uint8_t* data, uint32_t length)
{
    check->crc = LzhCrc16Update(check->crc, data, length);
    check->count += length;
}

LzhCheckResult LzhCheckFinish(const LzhEntryCheck* check)
{
    if (check->count != check->expectedSize) return LZH_CHECK_SIZE;
    return check->crc == check->expectedCrc ? LZH_CHECK_OK : LZH_CHECK_CRC;
}

const char* LzhCheckResultText(LzhCheckResult result)
{
    switch (result) {
    case LZH_CHECK_OK: return "data intact";
    case LZH_CHECK_SIZE: return "size differs from the header's";
    case LZH_CHECK_CRC: return "CRC-16 differs from the header's";
    }
    return "unknown check result";
}

// Update records for the tests, laid out with literal offsets so that a
// wrong named offset in the product cannot hide behind the same constant.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using RecordBytes = std::vector<uint8_t>;

inline void PutLe(RecordBytes& r, size_t at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) r[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void PutText(RecordBytes& r, size_t at, const std::string& text)
{
    std::memcpy(r.data() + at, text.data(), text.size());
}

// Notes as UTF-16LE from ASCII text, with the terminator unless told.
inline void PutNotes(RecordBytes& r, size_t at, const std::string& text, bool terminated = true)
{
    r.resize(at + 2 * text.size() + (terminated ? 2 : 0), 0);
    for (size_t i = 0; i < text.size(); ++i) PutLe(r, at + 2 * i, static_cast<uint8_t>(text[i]), 2);
}

// A format-2 record: flags at 8, version at 12, product id at 20 (16 bytes
// of id), name 44, program 76, info URL 108, archive URL 236, CRC 364,
// notes from 368.
inline RecordBytes Record2(uint32_t version, uint8_t id = 0x11, uint32_t flags = 0,
                           const std::string& archiveUrl = "http://127.0.0.1/a.lzh", const std::string& notes = "")
{
    RecordBytes r(370, 0);
    PutText(r, 0, "TDWL");
    PutLe(r, 4, 2, 2);
    PutLe(r, 8, flags, 4);
    PutLe(r, 12, version, 4);
    std::memset(r.data() + 20, id, 16);
    PutText(r, 44, "Marrowby");
    PutText(r, 76, "marrowby.exe");
    PutText(r, 108, "http://127.0.0.1/info.qvn");
    PutText(r, 236, archiveUrl);
    PutLe(r, 364, 0xBEEF, 2);
    PutNotes(r, 368, notes);
    return r;
}

// A format-1 record: version at 8, product id at 16, archive URL at 36,
// notes from 294.
inline RecordBytes Record1(uint32_t version, const std::string& archiveUrl = "http://127.0.0.1/old.lzh",
                           const std::string& notes = "")
{
    RecordBytes r(296, 0);
    PutText(r, 0, "TDWL");
    PutLe(r, 4, 1, 2);
    PutLe(r, 8, version, 4);
    std::memset(r.data() + 16, 0x22, 16);
    PutText(r, 36, archiveUrl);
    PutNotes(r, 294, notes);
    return r;
}

// CRC-16/CCITT-FALSE bit by bit, as its parameters define it, to check the
// table-driven product against.
inline uint16_t BitwiseCrc16(const uint8_t* bytes, size_t length)
{
    uint16_t crc = 0xFFFF;
    for (size_t n = 0; n < length; ++n) {
        crc ^= static_cast<uint16_t>(bytes[n] << 8);
        for (int i = 0; i < 8; ++i) crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

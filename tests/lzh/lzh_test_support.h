// Helpers for the archive tests: checksums, a bit writer, archive headers
// and small encoders that produce exactly the streams a test needs.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "tidewell/lzh/lzh_archive.h"

using Bytes = std::vector<uint8_t>;

// LZH CRC-16: reflected polynomial 0xA001, initial value 0.
uint16_t Crc16(const Bytes& data);

// SHA-256 as lower-case hex.
std::string Sha256Hex(const Bytes& data);

Bytes BytesOf(const std::string& text);

// Generated content: random bytes, and words that compress like text.
Bytes RandomBytes(size_t size, unsigned seed);
Bytes TextLike(size_t size, unsigned seed);

// Writes `data` as the whole file at `path`; false when it cannot.
bool WriteWholeFile(const std::string& path, const Bytes& data);

// Writes `data` to a scratch file named `name` and returns its path.
std::string WriteScratchFile(const std::string& name, const Bytes& data);

// Reads a whole file; empty when it cannot be read.
Bytes ReadWholeFile(const std::string& path);

Bytes Concat(std::initializer_list<Bytes> parts);

// Most significant bit first, as the decoders read.
class BitWriter {
public:
    void Put(uint32_t value, unsigned bits);
    Bytes Finish();  // pads the last byte with zeros

private:
    Bytes bytes_;
    uint32_t pending_ = 0;
    unsigned count_ = 0;
};

// One member for the header builders.
struct TestMember {
    std::string method = "-lh0-";
    std::string name;
    std::string directory;  // levels 1-3: stored with 0xFF separators
    Bytes packed;
    uint32_t originalSize = 0;
    int32_t dataCrc = -1;           // CRC-16 of the original data; -1: that of `packed`
    bool windowsTimes = false;      // levels 1-3: add a 0x41 header
    uint64_t times[3] = {0, 0, 0};  // creation, last write, last access as stored
};

// A -lh0- member holding `content` as it is.
TestMember StoredMember(const std::string& name, const std::string& content, const std::string& directory = "");

Bytes Level0Header(const TestMember& m);
Bytes Level1Header(const TestMember& m);
Bytes Level2Header(const TestMember& m);
Bytes Level3Header(const TestMember& m);  // 4-byte sizes; total length at offset 24

// Header followed by the packed data.
Bytes Member(int level, const TestMember& m);

// The members followed by the end mark (a zero byte).
Bytes WithEndMark(Bytes members);

// An archive of stored members with the end mark.
Bytes StoredArchive(int level, const std::vector<std::pair<std::string, Bytes>>& files);

// One decoded item of an LZ stream: a literal byte or a match.
struct LzItem {
    bool match;
    uint8_t literal;
    uint32_t length;    // match length
    uint32_t distance;  // 1 = the byte just written
};

LzItem Lit(uint8_t byte);
LzItem Match(uint32_t length, uint32_t distance);

// What the items decode to, by a plain sliding-window model.
Bytes Expand(const std::vector<LzItem>& items);

// -lh4- to -lh7- data for the items: one block (at most 65535 items) with
// every symbol code 9 bits long and every position code 4 bits long (5 bits
// for the 17 codes of -lh7-). -lh6- has 16 position codes, -lh7- 17.
Bytes EncodeStaticBlock(const std::vector<LzItem>& items, unsigned positionCodes = 14);

// -lzs- and -lz5- data for the items; positions are given as stored
// positions m through Match(length, m + 1).
Bytes EncodeLzs(const std::vector<LzItem>& items);
Bytes EncodeLz5(const std::vector<LzItem>& items);

// Reads the selected entry to its end, `chunk` bytes at a time.
Bytes ReadSelectedEntry(uint32_t chunk);

// Opens `path`, reads the headers and decodes entry n completely.
struct DecodeResult {
    int open = -9;
    int headers = -9;
    int select = -9;
    Bytes data;
};
DecodeResult DecodeEntry(const std::string& path, int n, uint32_t chunk = 32768);

// A single-member archive with the given method and packed data.
std::string SingleMemberArchive(const std::string& fileName, const std::string& method, const Bytes& packed,
                                uint32_t originalSize);

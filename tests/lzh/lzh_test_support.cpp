#include "tests/lzh/lzh_test_support.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "tests/support/testenv.h"
#include "tidewell/lzh/lzh_decoder.h"

uint16_t Crc16(const Bytes& data)
{
    uint16_t crc = 0;
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; bit++) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

namespace {

const uint32_t kSha256Constants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t Rotr(uint32_t x, unsigned n)
{
    return (x >> n) | (x << (32 - n));
}

void Sha256Block(uint32_t* h, const uint8_t* block)
{
    uint32_t w[64];
    for (int i = 0; i < 16; i++)
        w[i] = uint32_t(block[4 * i]) << 24 | uint32_t(block[4 * i + 1]) << 16 | uint32_t(block[4 * i + 2]) << 8 |
               block[4 * i + 3];
    for (int i = 16; i < 64; i++) {
        uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
    for (int i = 0; i < 64; i++) {
        uint32_t t1 = k + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kSha256Constants[i] + w[i];
        uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        k = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += k;
}

}  // namespace

std::string Sha256Hex(const Bytes& data)
{
    uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    Bytes padded = data;
    const uint64_t bits = uint64_t(data.size()) * 8;
    padded.push_back(0x80);
    while (padded.size() % 64 != 56) padded.push_back(0);
    for (int i = 7; i >= 0; i--) padded.push_back(uint8_t(bits >> (8 * i)));
    for (size_t i = 0; i < padded.size(); i += 64) Sha256Block(h, padded.data() + i);
    std::string hex;
    char digits[9];
    for (uint32_t word : h) {
        std::snprintf(digits, sizeof digits, "%08x", unsigned(word));
        hex += digits;
    }
    return hex;
}

Bytes BytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

bool WriteWholeFile(const std::string& path, const Bytes& data)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), file) == data.size();
    return std::fclose(file) == 0 && ok;
}

std::string WriteScratchFile(const std::string& name, const Bytes& data)
{
    std::string dir = ScratchDir("lzh");
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    std::string path = dir + "/" + name;
    WriteWholeFile(path, data);
    return path;
}

Bytes ReadWholeFile(const std::string& path)
{
    Bytes data;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return data;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) data.insert(data.end(), buffer, buffer + n);
    (void)std::fclose(file);  // read only
    return data;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

void BitWriter::Put(uint32_t value, unsigned bits)
{
    for (unsigned i = bits; i-- > 0;) {
        pending_ = (pending_ << 1) | ((value >> i) & 1);
        if (++count_ == 8) {
            bytes_.push_back(uint8_t(pending_));
            pending_ = 0;
            count_ = 0;
        }
    }
}

Bytes BitWriter::Finish()
{
    if (count_ > 0) Put(0, 8 - count_);
    return bytes_;
}

namespace {

void Put16(Bytes& out, uint32_t value)
{
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void Put32(Bytes& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void Put64(Bytes& out, uint64_t value)
{
    Put32(out, uint32_t(value));
    Put32(out, uint32_t(value >> 32));
}

// Offsets 2 to 20 of every level.
void CommonPart(Bytes& out, const TestMember& m, uint32_t packedSize, int level)
{
    out.insert(out.end(), m.method.begin(), m.method.end());
    Put32(out, packedSize);
    Put32(out, m.originalSize);
    Put32(out, 0x4C2A6B35);  // time stamp
    out.push_back(level >= 2 ? 0 : 0x20);
    out.push_back(uint8_t(level));
}

// Extended headers after the first size field, and the sizes' total; level
// 3 writes its size fields 4 bytes wide.
Bytes ExtendedHeaders(const TestMember& m, bool withName, uint32_t* total, unsigned sizeBytes = 2)
{
    Bytes ext;
    auto putSize = [&](uint32_t size) { sizeBytes == 4 ? Put32(ext, size) : Put16(ext, size); };
    auto add = [&](uint8_t type, const Bytes& data) {
        putSize(uint32_t(data.size() + 1 + sizeBytes));
        ext.push_back(type);
        ext.insert(ext.end(), data.begin(), data.end());
    };
    if (withName) add(0x01, BytesOf(m.name));
    if (!m.directory.empty()) add(0x02, BytesOf(m.directory));
    if (m.windowsTimes) {
        Bytes times;
        for (uint64_t t : m.times) Put64(times, t);
        add(0x41, times);
    }
    putSize(0);
    *total = 0;
    // Each size field is the header after it; the first one is separate.
    for (size_t i = 0; i + sizeBytes <= ext.size();) {
        uint32_t size = ext[i] | ext[i + 1] << 8;
        if (sizeBytes == 4) size |= uint32_t(ext[i + 2]) << 16 | uint32_t(ext[i + 3]) << 24;
        if (size == 0) break;
        *total += size;
        i += size;
    }
    return ext;
}

uint16_t DataCrc(const TestMember& m)
{
    return m.dataCrc >= 0 ? uint16_t(m.dataCrc) : Crc16(m.packed);
}

uint8_t Checksum(const Bytes& header, size_t from)
{
    unsigned sum = 0;
    for (size_t i = from; i < header.size(); i++) sum += header[i];
    return uint8_t(sum);
}

}  // namespace

TestMember StoredMember(const std::string& name, const std::string& content, const std::string& directory)
{
    TestMember m;
    m.name = name;
    m.directory = directory;
    m.packed = BytesOf(content);
    m.originalSize = uint32_t(content.size());
    return m;
}

Bytes Level0Header(const TestMember& m)
{
    Bytes h = {0, 0};
    CommonPart(h, m, uint32_t(m.packed.size()), 0);
    h.push_back(uint8_t(m.name.size()));
    h.insert(h.end(), m.name.begin(), m.name.end());
    Put16(h, DataCrc(m));
    h[0] = uint8_t(h.size() - 2);
    h[1] = Checksum(h, 2);
    return h;
}

Bytes Level1Header(const TestMember& m)
{
    uint32_t total = 0;
    Bytes ext = ExtendedHeaders(m, false, &total);
    Bytes h = {0, 0};
    CommonPart(h, m, uint32_t(m.packed.size()) + total, 1);
    h.push_back(uint8_t(m.name.size()));
    h.insert(h.end(), m.name.begin(), m.name.end());
    Put16(h, DataCrc(m));
    h.push_back('M');          // operating system
    h[0] = uint8_t(h.size());  // the first extended size field sits at offset H
    h.insert(h.end(), ext.begin(), ext.end());
    h[1] = Checksum(h, 2);
    return h;
}

Bytes Level2Header(const TestMember& m)
{
    uint32_t total = 0;
    Bytes ext = ExtendedHeaders(m, true, &total);
    Bytes h = {0, 0};
    CommonPart(h, m, uint32_t(m.packed.size()), 2);
    Put16(h, DataCrc(m));
    h.push_back('w');  // operating system
    h.insert(h.end(), ext.begin(), ext.end());
    h[0] = uint8_t(h.size());
    h[1] = uint8_t(h.size() >> 8);
    return h;
}

Bytes Level3Header(const TestMember& m)
{
    uint32_t total = 0;
    Bytes ext = ExtendedHeaders(m, true, &total, 4);
    Bytes h = {4, 0};  // the width of the size fields
    CommonPart(h, m, uint32_t(m.packed.size()), 3);
    Put16(h, DataCrc(m));
    h.push_back('U');  // operating system
    Put32(h, uint32_t(h.size() + 4 + ext.size()));
    h.insert(h.end(), ext.begin(), ext.end());
    return h;
}

Bytes Member(int level, const TestMember& m)
{
    Bytes out = level == 0   ? Level0Header(m)
                : level == 1 ? Level1Header(m)
                : level == 2 ? Level2Header(m)
                             : Level3Header(m);
    out.insert(out.end(), m.packed.begin(), m.packed.end());
    return out;
}

Bytes WithEndMark(Bytes members)
{
    members.push_back(0);
    return members;
}

Bytes StoredArchive(int level, const std::vector<std::pair<std::string, Bytes>>& files)
{
    Bytes archive;
    for (const auto& file : files) {
        TestMember m;
        m.name = file.first;
        m.packed = file.second;
        m.originalSize = uint32_t(file.second.size());
        Bytes member = Member(level, m);
        archive.insert(archive.end(), member.begin(), member.end());
    }
    return WithEndMark(archive);
}

LzItem Lit(uint8_t byte)
{
    return LzItem{false, byte, 0, 0};
}

LzItem Match(uint32_t length, uint32_t distance)
{
    return LzItem{true, 0, length, distance};
}

Bytes Expand(const std::vector<LzItem>& items)
{
    Bytes out;
    for (const LzItem& item : items) {
        if (!item.match) {
            out.push_back(item.literal);
            continue;
        }
        for (uint32_t i = 0; i < item.length; i++)
            out.push_back(out.size() >= item.distance ? out[out.size() - item.distance] : uint8_t(' '));
    }
    return out;
}

Bytes EncodeStaticBlock(const std::vector<LzItem>& items, unsigned positionCodes)
{
    // -lh6-/-lh7- count their position lengths in 5 bits; 17 codes need 5.
    const unsigned countBits = positionCodes > 14 ? 5 : 4;
    const unsigned positionBits = positionCodes > 16 ? 5 : 4;
    BitWriter w;
    w.Put(uint32_t(items.size()), 16);
    // Code-length code: one value alone (11 = length 9) in every entry.
    w.Put(0, 5);
    w.Put(11, 5);
    // 510 symbol lengths of 9, each costing no bits.
    w.Put(510, 9);
    // Every position length 4 or 5 (3-bit fields "100" or "101").
    w.Put(positionCodes, countBits);
    for (unsigned i = 0; i < positionCodes; i++) w.Put(positionBits, 3);
    for (const LzItem& item : items) {
        if (!item.match) {
            w.Put(item.literal, 9);
            continue;
        }
        w.Put(item.length + 253, 9);
        uint32_t p = item.distance - 1;
        unsigned j = 0;
        while ((p >> j) != 0) j++;
        w.Put(j, positionBits);
        if (j > 1) w.Put(p - (1u << (j - 1)), j - 1);
    }
    return w.Finish();
}

Bytes EncodeLzs(const std::vector<LzItem>& items)
{
    BitWriter w;
    for (const LzItem& item : items) {
        if (!item.match) {
            w.Put(1, 1);
            w.Put(item.literal, 8);
        } else {
            w.Put(0, 1);
            w.Put(item.distance - 1, 11);
            w.Put(item.length - 2, 4);
        }
    }
    return w.Finish();
}

Bytes EncodeLz5(const std::vector<LzItem>& items)
{
    Bytes out;
    for (size_t first = 0; first < items.size(); first += 8) {
        size_t flagAt = out.size();
        out.push_back(0);
        for (size_t i = first; i < items.size() && i < first + 8; i++) {
            const LzItem& item = items[i];
            if (!item.match) {
                out[flagAt] |= uint8_t(1u << (i - first));
                out.push_back(item.literal);
            } else {
                uint32_t m = item.distance - 1;
                out.push_back(uint8_t(m & 0xFF));
                out.push_back(uint8_t(((m >> 4) & 0xF0) | (item.length - 3)));
            }
        }
    }
    return out;
}

Bytes ReadSelectedEntry(uint32_t chunk)
{
    Bytes data, buffer(chunk);
    for (uint32_t got; (got = LzhRead(buffer.data(), chunk)) > 0;)
        data.insert(data.end(), buffer.begin(), buffer.begin() + got);
    return data;
}

DecodeResult DecodeEntry(const std::string& path, int n, uint32_t chunk)
{
    DecodeResult result;
    LzhArchive archive = {};
    result.open = LzhOpen(path.c_str(), &archive);
    if (result.open == 0) result.headers = LzhReadHeaders(&archive);
    if (result.headers == 0) result.select = LzhSelectEntry(&archive, n);
    if (result.select == 0) result.data = ReadSelectedEntry(chunk);
    LzhClose(&archive);
    return result;
}

std::string SingleMemberArchive(const std::string& fileName, const std::string& method, const Bytes& packed,
                                uint32_t originalSize)
{
    TestMember m;
    m.method = method;
    m.name = "data.bin";
    m.packed = packed;
    m.originalSize = originalSize;
    return WriteScratchFile(fileName, WithEndMark(Member(2, m)));
}

Bytes RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes data(size);
    for (uint8_t& b : data) b = uint8_t(random());
    return data;
}

// Words from a small vocabulary, with numbers: compresses like text.
Bytes TextLike(size_t size, unsigned seed)
{
    static const char* const kWords[] = {"the ",   "archive ",  "update ",  "Tidewell ", "of ", "and ",
                                         "file\n", "download ", "version ", "1.0.",      "a ",  "header "};
    std::mt19937 random(seed);
    Bytes data;
    while (data.size() < size) {
        const char* word = kWords[random() % 12];
        data.insert(data.end(), word, word + std::strlen(word));
        if (random() % 7 == 0) data.push_back(uint8_t('0' + random() % 10));
    }
    data.resize(size);
    return data;
}

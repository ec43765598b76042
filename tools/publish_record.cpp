#include "tools/publish_record.h"

#include <cstring>

#include "tidewell/lzh/lzh_path.h"
#include "tidewell/updater/update_record.h"

namespace {

// The update information is fetched into 65536 bytes; a longer record would
// arrive cut.
constexpr size_t kFetchLimit = 65536;

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void PutLe16(std::vector<uint8_t>* out, size_t at, uint16_t value)
{
    (*out)[at] = static_cast<uint8_t>(value);
    (*out)[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(std::vector<uint8_t>* out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutText(std::vector<uint8_t>* out, size_t at, const std::string& text)
{
    std::memcpy(out->data() + at, text.data(), text.size());
}

// One code point from UTF-8 at text[*at]; false for a malformed sequence.
bool NextCodePoint(const std::string& text, size_t* at, uint32_t* point)
{
    unsigned char lead = static_cast<unsigned char>(text[*at]);
    int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || *at + extra >= text.size()) return false;
    uint32_t value = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        unsigned char next = static_cast<unsigned char>(text[*at + i]);
        if ((next & 0xC0) != 0x80) return false;
        value = (value << 6) | (next & 0x3F);
    }
    static const uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    *at += extra + 1;
    *point = value;
    return true;
}

void PutUtf16(std::vector<uint16_t>* units, uint32_t point)
{
    if (point < 0x10000) {
        units->push_back(static_cast<uint16_t>(point));
        return;
    }
    point -= 0x10000;
    units->push_back(static_cast<uint16_t>(0xD800 + (point >> 10)));
    units->push_back(static_cast<uint16_t>(0xDC00 + (point & 0x3FF)));
}

void PutUtf8(std::string* out, uint32_t point)
{
    if (point < 0x80) {
        *out += static_cast<char>(point);
    } else if (point < 0x800) {
        *out += static_cast<char>(0xC0 | (point >> 6));
        *out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        *out += static_cast<char>(0xE0 | (point >> 12));
        *out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (point >> 18));
        *out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

std::string FieldProblem(const char* name, const std::string& text, size_t field)
{
    if (text.find('\0') != std::string::npos) return std::string(name) + " holds a NUL byte";
    if (text.size() >= field)
        return std::string(name) + " is " + std::to_string(text.size()) + " bytes; at most " +
               std::to_string(field - 1) + " fit";
    return std::string();
}

// The updater fetches http and https URLs only.
// Tidewell starts the program only when its name stays inside the install
// folder, as an archive entry must: any other name would end every update
// with the program not started.
std::string StartProblem(const std::string& program)
{
    LzhPathResult where = LzhCheckEntryPath("", program.c_str());
    if (where == LZH_PATH_EMPTY) return "--start-program needs --program";
    if (where != LZH_PATH_OK) return "the program " + program + " would not be started: " + LzhPathResultText(where);
    return std::string();
}

std::string SchemeProblem(const char* name, const std::string& url)
{
    if (url.empty()) return std::string();
    std::string lower = url.substr(0, 8);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower.compare(0, 7, "http://") == 0 || lower.compare(0, 8, "https://") == 0) return std::string();
    return std::string(name) + " must start with http:// or https://";
}

}  // namespace

bool ParseProductId(const std::string& text, uint8_t out[16])
{
    if (text.size() != 32) return false;
    for (size_t i = 0; i < 16; ++i) {
        int high = HexValue(text[2 * i]);
        int low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return true;
}

bool ParseVersion(const std::string& text, uint32_t* version)
{
    uint32_t packed = 0;
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
        uint32_t value = 0;
        size_t digits = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits)
            value = value * 10 + static_cast<uint32_t>(text[at] - '0');
        if (digits > 3 || value > 255) return false;
        packed = (packed << 8) | value;
        if (part < 3 && (at >= text.size() || text[at++] != '.')) return false;
    }
    if (at != text.size()) return false;
    *version = packed;
    return true;
}

bool NotesFromUtf8(const std::string& text, std::vector<uint16_t>* units)
{
    units->clear();
    size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (at < text.size()) {
        uint32_t point = 0;
        if (!NextCodePoint(text, &at, &point)) return false;
        if (point == '\r') continue;  // line ends are written as CR LF below
        if (point == '\n') units->push_back('\r');
        PutUtf16(units, point);
    }
    return true;
}

std::string Utf8FromUtf16Le(const uint8_t* bytes, uint32_t units)
{
    std::string out;
    for (uint32_t i = 0; i < units; ++i) {
        uint32_t unit = bytes[2 * i] | (bytes[2 * i + 1] << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            uint32_t next = bytes[2 * i + 2] | (bytes[2 * i + 3] << 8);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                PutUtf8(&out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        PutUtf8(&out, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    return out;
}

std::string CheckPublishRecord(const PublishRecord& record)
{
    std::string problem = FieldProblem("the product name", record.productName, kRecord2ProductNameField);
    if (problem.empty()) problem = FieldProblem("the program name", record.program, kRecord2ProgramField);
    if (problem.empty()) problem = FieldProblem("the update-information URL", record.infoUrl, kInfoUrlMax + 1);
    if (problem.empty()) problem = FieldProblem("the archive URL", record.archiveUrl, kRecord2ArchiveUrlField);
    if (problem.empty()) problem = SchemeProblem("the update-information URL", record.infoUrl);
    if (problem.empty()) problem = SchemeProblem("the archive URL", record.archiveUrl);
    if (problem.empty() && record.startProgram) problem = StartProblem(record.program);
    if (!problem.empty()) return problem;
    for (uint16_t unit : record.notes) {
        if (unit == 0) return "the notes hold a NUL character";
    }
    size_t size = kRecord2NotesOffset + 2 * (record.notes.size() + 1);
    if (size > kFetchLimit)
        return "the record would be " + std::to_string(size) + " bytes; the updater fetches at most " +
               std::to_string(kFetchLimit);
    return std::string();
}

std::vector<uint8_t> BuildRecordBytes(const PublishRecord& record)
{
    std::vector<uint8_t> out(kRecord2NotesOffset + 2 * (record.notes.size() + 1), 0);
    PutLe32(&out, kRecordMagicOffset, kRecordMagic);
    PutLe16(&out, kRecordFormatOffset, 2);
    uint32_t flags = (record.checkCrc ? kRecordFlagCheckCrc : 0) | (record.startProgram ? kRecordFlagStartProgram : 0) |
                     (record.tempFolder ? kRecordFlagTempFolder : 0);
    PutLe32(&out, kRecord2FlagsOffset, flags);
    PutLe32(&out, kRecord2VersionOffset, record.version);
    std::memcpy(out.data() + kRecord2ProductIdOffset, record.productId, kRecordProductIdSize);
    PutText(&out, kRecord2ProductNameOffset, record.productName);
    PutText(&out, kRecord2ProgramOffset, record.program);
    PutText(&out, kRecord2InfoUrlOffset, record.infoUrl);
    PutText(&out, kRecord2ArchiveUrlOffset, record.archiveUrl);
    PutLe16(&out, kRecord2CrcOffset, record.checkCrc ? record.archiveCrc : 0);
    for (size_t i = 0; i < record.notes.size(); ++i) PutLe16(&out, kRecord2NotesOffset + 2 * i, record.notes[i]);
    return out;
}

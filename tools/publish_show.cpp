// A record in words, for "tidewell-publish show".
#include <cstdio>
#include <cstring>

#include "tidewell/updater/update_record.h"
#include "tidewell/updater/version_compare.h"
#include "tools/publish_record.h"

namespace {

std::string Hex(uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%0*X", digits, value);
    return text;
}

std::string Line(const char* name, const std::string& value)
{
    return std::string(name) + ": " + value + "\n";
}

// A text field, with a note when it has no terminator within the record.
std::string TextField(RecordView record, uint32_t offset, uint32_t field)
{
    char text[65536];
    bool cut = false;
    RecordText(record, offset, text, sizeof(text), &cut);
    std::string value = std::string("\"") + text + "\"";
    if (cut)
        value += " (no terminator before the end of the record: cut there)";
    else if (std::strlen(text) >= field)
        value += " (runs past its " + std::to_string(field) + "-byte field)";
    return value;
}

std::string FlagWords(uint32_t flags)
{
    std::string words = Hex(flags, 8);
    const char* separator = ": ";
    struct {
        uint32_t bit;
        const char* meaning;
    } const kFlags[] = {{kRecordFlagCheckCrc, "check the archive CRC"},
                        {kRecordFlagStartProgram, "start the program after the update"},
                        {kRecordFlagTempFolder, "extract into the temporary folder"}};
    for (const auto& flag : kFlags) {
        if (flags & flag.bit) {
            words += separator;
            words += flag.meaning;
            separator = ", ";
        }
    }
    return words;
}

std::string ProductId(RecordView record)
{
    std::string text;
    const uint8_t* id = RecordProductId(record);
    for (uint32_t i = 0; i < kRecordProductIdSize; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof(pair), "%02x", id[i]);
        text += pair;
    }
    return text;
}

std::string Notes(RecordView record)
{
    uint32_t units = 0;
    bool terminated = RecordNotes(record, RecordNotesOffset(record), &units);
    std::string text = Utf8FromUtf16Le(record.bytes + RecordNotesOffset(record), units);
    std::string out = Line("notes", std::to_string(units) + " UTF-16 units" +
                                        (terminated ? "" : " (no terminator: cut at the end of the record)"));
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out += "  | " + line + "\n";
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return out;
}

std::string Refusal(RecordView record, bool* usable)
{
    *usable = false;
    if (!RecordHasMagic(record)) return "refused: the record does not begin with the magic \"TDWL\"\n";
    switch (CheckRecordLength(record)) {
    case kRecordNoHead: return "refused: " + std::to_string(record.size) + " bytes do not hold the 8-byte head\n";
    case kRecordFormatUnknown:
        return "refused: format " + std::to_string(RecordFormat(record)) + " is unknown (1 and 2 exist)\n";
    case kRecordShort:
        return "refused: " + std::to_string(record.size) + " bytes are shorter than the " +
               std::to_string(RecordFixedSize(RecordFormat(record))) + "-byte fixed part of format " +
               std::to_string(RecordFormat(record)) + "\n";
    case kRecordLengthOk: break;
    }
    *usable = true;
    return std::string();
}

}  // namespace

std::string DescribeRecord(const std::vector<uint8_t>& bytes, bool* usable)
{
    RecordView record{bytes.data(), static_cast<uint32_t>(bytes.size())};
    std::string out =
        Line("record", std::to_string(bytes.size()) + " bytes, format " + std::to_string(RecordFormat(record)));
    std::string refusal = Refusal(record, usable);
    if (!*usable) return out + refusal;
    char version[kVersionTextSize];
    FormatVersion(RecordVersion(record), version, sizeof(version));
    out += Line("version", std::string(version) + " (" + Hex(RecordVersion(record), 8) + ")");
    out += Line("product identifier", ProductId(record));
    if (RecordFormat(record) == 2) {
        uint32_t flags = RecordFlags(record);
        out += Line("flags", FlagWords(flags));
        out += Line("product name", TextField(record, kRecord2ProductNameOffset, kRecord2ProductNameField));
        out += Line("program to start", TextField(record, kRecord2ProgramOffset, kRecord2ProgramField));
        out += Line("update-information URL", TextField(record, kRecord2InfoUrlOffset, kRecord2InfoUrlField));
        std::string crc = Hex(RecordArchiveCrc(record), 4);
        out += Line("archive CRC-16", crc + ((flags & kRecordFlagCheckCrc) ? " (checked)" : " (not checked)"));
    }
    uint32_t archive = RecordArchiveUrlOffset(record);
    uint32_t field = RecordFormat(record) == 1 ? kRecord1ArchiveUrlField : kRecord2ArchiveUrlField;
    std::string archiveUrl = TextField(record, archive, field);
    out += Line("archive URL", archive < record.size && record.bytes[archive] == 0
                                   ? std::string("none (no archive offered)")
                                   : archiveUrl);
    return out + Notes(record);
}

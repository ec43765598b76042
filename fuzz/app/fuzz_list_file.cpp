// The input as a list file (".wrg"): read in pieces the way the list reader
// reads it, with the reads cut at sizes taken from the input's first bytes,
// and made into records as the reader makes them. The records are written
// again behind a header line, which the input may make long enough for the
// write buffer to fill among the records, and must read back the same.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/app/line_fuzz_support.h"
#include "common/bounded_text.h"
#include "common/sjis.h"

namespace {

// The download item's fields the values are copied into.
constexpr size_t kReferrerSize = 1153;
constexpr size_t kFolderSize = 264;
constexpr size_t kFileNameSize = 513;
constexpr size_t kUrlSize = 1153;

struct Record {
    std::string referrer, folder, fileName, url;
    int64_t size = 0;
    int32_t state = 0;

    bool operator==(const Record& o) const
    {
        return referrer == o.referrer && folder == o.folder && fileName == o.fileName && url == o.url &&
               size == o.size && state == o.state;
    }
};

std::string Bounded(const char* value, size_t size)
{
    std::vector<char> field(size);
    mw_text::Copy(field.data(), size, value);
    return field.data();
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/' || c == ':';
}

// The base name follows a separator and holds none outside double-byte characters.
void CheckBaseName(const char* path, const char* base)
{
    FUZZ_CHECK(base >= path && base <= path + std::strlen(path));
    FUZZ_CHECK(base == path || IsSeparator(base[-1]));
    for (const char* p = base; *p != '\0'; p += SjisCharLength(p)) FUZZ_CHECK(!IsSeparator(*p));
}

// A "_RealFileName" value: the file name is its base name (as when the named
// file exists).
void ApplySetting(Record& record, const char* key, const char* value)
{
    switch (MatchListKey(key)) {
    case kListKeyReferer: record.referrer = Bounded(value, kReferrerSize); break;
    case kListKeyStoreIn: record.folder = Bounded(value, kFolderSize); break;
    case kListKeyRemoteFileSize:
        record.size = ParseListNumber(value);
        FUZZ_CHECK(record.size == std::strtoll(value, nullptr, 10));
        break;
    case kListKeyState: {
        const long long number = std::strtoll(value, nullptr, 10);
        record.state = ParseListState(value);
        FUZZ_CHECK(record.state == (number == 1 || number == 2 ? number : 0));
        break;
    }
    case kListKeyRealFileName: {
        const char* base = ListBaseName(value);
        CheckBaseName(value, base);
        record.fileName = Bounded(base, kFileNameSize);
        break;
    }
    default: break;
    }
}

std::vector<Record> ReadRecords(const std::string& bytes, const uint8_t* pattern)
{
    std::vector<Record> records;
    Record current;
    ReadCheckedPieces(bytes, pattern, kListLineSize, [&](char* line) {
        const bool hasEquals = std::strchr(line, '=') != nullptr;
        char* key = nullptr;
        char* value = nullptr;
        FUZZ_CHECK(SplitSetting(line, &key, &value) == (hasEquals ? 0 : 1));
        if (!hasEquals) return;
        FUZZ_CHECK(key == line && std::strpbrk(value, "\r\n") == nullptr);
        if (MatchListKey(key) != kListKeyUrl) {
            ApplySetting(current, key, value);
            return;
        }
        current.url = Bounded(value, kUrlSize);
        records.push_back(current);
        current = Record();
    });
    return records;
}

int AppendBytes(void* context, const uint8_t* data, size_t length)
{
    FUZZ_CHECK(length > 0 && length <= sizeof(ListWriter::buffer));
    static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
    return 0;
}

int RefuseBytes(void* context, const uint8_t*, size_t)
{
    ++*static_cast<int*>(context);
    return 1;
}

// The folder is written before the file name only when it ends in a
// separator, as the writer's callers make sure.
void WriteRecords(ListWriter* writer, const std::vector<Record>& records)
{
    for (const Record& r : records) {
        const bool separated = ListBaseName(r.folder.c_str()) == r.folder.c_str() + r.folder.size();
        const ListRecordOut out = {r.referrer.c_str(),
                                   r.folder.c_str(),
                                   r.size,
                                   r.state,
                                   separated ? r.folder.c_str() : "",
                                   r.fileName.c_str(),
                                   r.url.c_str(),
                                   nullptr,
                                   "",
                                   0,
                                   nullptr};
        WriteListRecord(writer, out);
    }
}

// A header of headerLength bytes moves the point where the buffer fills.
// Returns what follows the header line.
std::string WriteList(const std::vector<Record>& records, size_t headerLength)
{
    static ListWriter writer;
    std::string written;
    InitListWriter(&writer, AppendBytes, &written);
    const std::string product(headerLength, 'x');
    WriteListHeader(&writer, product.c_str());
    WriteRecords(&writer, records);
    FUZZ_CHECK(FlushListWriter(&writer) == 0);

    // Every line ends in CR LF.
    for (size_t i = written.find('\n'); i != std::string::npos; i = written.find('\n', i + 1)) {
        FUZZ_CHECK(i > 0 && written[i - 1] == '\r');
    }
    FUZZ_CHECK(written.size() >= 2 && written.compare(written.size() - 2, 2, "\r\n") == 0);
    const std::string header = "; Created by " + product + "\r\n";
    FUZZ_CHECK(written.compare(0, header.size(), header) == 0);
    return written.substr(header.size());
}

// After a refused write nothing more is handed on, and the flush says so.
void CheckRefusedWrite(const std::vector<Record>& records)
{
    static ListWriter writer;
    int calls = 0;
    InitListWriter(&writer, RefuseBytes, &calls);
    WriteListHeader(&writer, std::string(sizeof writer.buffer, 'x').c_str());
    WriteRecords(&writer, records);
    FUZZ_CHECK(FlushListWriter(&writer) == 1 && calls == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kReadPatternLength + 1) return 0;
    const uint8_t* pattern = data;
    const uint8_t mode = data[kReadPatternLength];
    const std::string bytes(reinterpret_cast<const char*>(data + kReadPatternLength + 1),
                            size - kReadPatternLength - 1);

    const std::vector<Record> records = ReadRecords(bytes, pattern);
    if (records.empty()) return 0;

    // Most runs write a short header; the others one that fills the buffer
    // up to 1 KiB before the records start, so they cross its end.
    const size_t kLineOverhead = sizeof("; Created by \r\n") - 1;
    const size_t headerLength = mode < 0xF0 ? 16 : sizeof(ListWriter::buffer) - kLineOverhead - (mode - 0xF0) * 64u;
    std::vector<Record> expected = records;
    for (Record& r : expected) {
        if (r.size == 0) r.size = -1;  // an unknown size is written as -1
    }
    FUZZ_CHECK(ReadRecords(WriteList(records, headerLength), pattern) == expected);
    if (mode == 0xFF) CheckRefusedWrite(records);
    return 0;
}

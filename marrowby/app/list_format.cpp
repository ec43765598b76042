// List file lines: piecewise reading, key=value settings and record writing.
#include "marrowby/app/list_format.h"

#include <string.h>

#include <new>

#include "marrowby/engine/decimal.h"
#include "common/sjis.h"
#include "common/text_helpers.h"
#include "marrowby/engine/url.h"

namespace {

const char kListHeaderStart[] = "; Created by ";

bool Refill(LineSource* source)
{
    if (source->finished) return false;
    size_t got = source->read(source->context, source->buffer, sizeof(source->buffer));
    if (got == 0 || got > sizeof(source->buffer)) {
        source->finished = true;
        source->position = source->end = 0;
        return false;
    }
    source->position = 0;
    source->end = got;
    return true;
}

// Next byte of the stream, or -1 at its end.
int PeekByte(LineSource* source)
{
    if (source->position == source->end && !Refill(source)) return -1;
    return source->buffer[source->position];
}

// Editors may begin a UTF-8 text with this mark; it is not part of the text.
const uint8_t kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};

// At the start of the input: skips a byte order mark. The bytes of a mere
// beginning of one are text: they are stored in line. Returns how many.
size_t SkipByteOrderMark(LineSource* source, char* line)
{
    size_t matched = 0;
    while (matched < sizeof(kByteOrderMark) && PeekByte(source) == kByteOrderMark[matched]) {
        ++source->position;
        ++matched;
    }
    if (matched == sizeof(kByteOrderMark)) return 0;
    memcpy(line, kByteOrderMark, matched);
    return matched;
}

void PutBytes(ListWriter* writer, const char* text, size_t length)
{
    while (length > 0 && !writer->failed) {
        size_t room = sizeof(writer->buffer) - writer->length;
        size_t n = length < room ? length : room;
        memcpy(writer->buffer + writer->length, text, n);
        writer->length += n;
        text += n;
        length -= n;
        if (writer->length == sizeof(writer->buffer)) FlushListWriter(writer);
    }
}

void PutText(ListWriter* writer, const char* text)
{
    if (text != nullptr) PutBytes(writer, text, strlen(text));
}

void PutLine(ListWriter* writer, const char* key, const char* value)
{
    PutText(writer, key);
    PutText(writer, value);
    PutBytes(writer, "\r\n", 2);
}

}  // namespace

void InitLineSource(LineSource* source, ByteReadFn read, void* context)
{
    source->read = read;
    source->context = context;
    source->position = 0;
    source->end = 0;
    source->finished = false;
    source->started = false;
}

bool ReadLinePiece(LineSource* source, char* line, size_t capacity)
{
    if (capacity == 0) return false;
    size_t stored = 0;
    if (!source->started && capacity > sizeof(kByteOrderMark)) stored = SkipByteOrderMark(source, line);
    source->started = true;
    while (stored + 1 < capacity) {
        if (source->position == source->end && !Refill(source)) break;
        // The bytes before the next CR or LF go over in one copy, as many as
        // the buffer holds and the line takes.
        const uint8_t* from = source->buffer + source->position;
        size_t room = capacity - 1 - stored;
        size_t run = source->end - source->position < room ? source->end - source->position : room;
        size_t plain = 0;
        while (plain < run && from[plain] != '\r' && from[plain] != '\n') ++plain;
        memcpy(line + stored, from, plain);
        stored += plain;
        source->position += plain;
        if (plain == run) continue;
        int c = from[plain];
        ++source->position;
        if (c == '\r' && PeekByte(source) == '\n') continue;  // CR LF reads as LF
        line[stored++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    line[stored] = '\0';
    return stored > 0;
}

int SplitSetting(char* line, char** key, char** value)
{
    char* equals = strchr(line, '=');
    if (equals == nullptr) return 1;
    *equals = '\0';
    *key = line;
    *value = equals + 1;
    CutAtLineEnd(*value);
    return 0;
}

ListKey MatchListKey(const char* key)
{
    static const struct {
        const char* name;
        ListKey key;
    } kKeys[] = {
        {"RefererStr", kListKeyReferer},
        {"StoreIn", kListKeyStoreIn},
        {"_RemoteFileSize", kListKeyRemoteFileSize},
        {"_State", kListKeyState},
        {"_RealFileName", kListKeyRealFileName},
        {"_Checksum", kListKeyChecksum},
        {"Url", kListKeyUrl},
        {"_ETag", kListKeyEntityTag},
        {"_Failure", kListKeyFailure},
        {"_LastModified", kListKeyLastModified},
        {"_Segments", kListKeySegments},
        {"_SpeedLimit", kListKeySpeedLimit},
    };
    for (const auto& k : kKeys) {
        if (SameTextIgnoringCase(key, k.name) == 0) return k.key;
    }
    return kListKeyUnknown;
}

bool LooksLikeListFile(LineSource* source)
{
    char line[kListLineSize];
    bool first = true;
    while (ReadLinePiece(source, line, sizeof(line))) {
        if (first && strncmp(line, kListHeaderStart, sizeof(kListHeaderStart) - 1) == 0) return true;
        first = false;
        char* key = nullptr;
        char* value = nullptr;
        if (SplitSetting(line, &key, &value) == 0 && MatchListKey(key) != kListKeyUnknown) {
            return true;
        }
    }
    return first;  // an empty file is an empty list
}

namespace {

// Whether the line [line, line + length) sets a URL longer than a URL may be.
bool HoldsOverlongUrl(const uint8_t* line, size_t length)
{
    const uint8_t* equals = static_cast<const uint8_t*>(memchr(line, '=', length));
    if (equals == nullptr || length - static_cast<size_t>(equals - line) - 1 <= kUrlTextMax) return false;
    char key[32];
    size_t keyLength = static_cast<size_t>(equals - line);
    if (keyLength >= sizeof(key)) return false;
    memcpy(key, line, keyLength);
    key[keyLength] = '\0';
    return MatchListKey(key) == kListKeyUrl;
}

}  // namespace

ListTextCheck CheckListText(const uint8_t* bytes, size_t length)
{
    if (memchr(bytes, '\0', length) != nullptr) return kListTextHasNul;
    size_t lineStart = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i < length && bytes[i] != '\n') continue;
        // The piece reader keeps CR LF as one LF: a line of capacity - 1
        // bytes with its end still arrives whole.
        size_t line = i - lineStart;
        if (line > 0 && bytes[i - 1] == '\r') --line;
        if (line + 1 > kListLineSize - 1 || HoldsOverlongUrl(bytes + lineStart, line)) return kListTextLongLine;
        lineStart = i + 1;
    }
    LineSource* source = new (std::nothrow) LineSource;
    if (source == nullptr) return kListTextNotAList;
    MemoryInput input = {bytes, length, 0};
    InitLineSource(source, ReadMemoryInput, &input);
    bool list = LooksLikeListFile(source);
    delete source;
    return list ? kListTextReadable : kListTextNotAList;
}

size_t ReadMemoryInput(void* context, uint8_t* buffer, size_t capacity)
{
    MemoryInput* input = static_cast<MemoryInput*>(context);
    size_t count = input->length - input->position;
    if (count > capacity) count = capacity;
    memcpy(buffer, input->bytes + input->position, count);
    input->position += count;
    return count;
}

int64_t ParseListNumber(const char* text)
{
    return ParseDecimal64(text);
}

int32_t ParseListState(const char* text)
{
    int64_t state = ParseListNumber(text);
    return (state == 1 || state == 2) ? static_cast<int32_t>(state) : 0;
}

const char* ListBaseName(const char* path)
{
    const char* base = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (SjisCharLength(p) == 2) {
            ++p;  // the trail byte may be 0x5C; it is not a separator
            continue;
        }
        if (*p == '\\' || *p == '/' || *p == ':') base = p + 1;
    }
    return base;
}

void InitListWriter(ListWriter* writer, ByteWriteFn write, void* context)
{
    writer->write = write;
    writer->context = context;
    writer->length = 0;
    writer->failed = false;
}

int FlushListWriter(ListWriter* writer)
{
    if (!writer->failed && writer->length > 0 && writer->write(writer->context, writer->buffer, writer->length) != 0) {
        writer->failed = true;
    }
    writer->length = 0;
    return writer->failed ? 1 : 0;
}

void WriteListHeader(ListWriter* writer, const char* product)
{
    PutLine(writer, kListHeaderStart, product);
}

void WriteListRecord(ListWriter* writer, const ListRecordOut& record)
{
    PutLine(writer, ";", "");
    PutLine(writer, "RefererStr=", record.referrer);
    PutLine(writer, "StoreIn=", record.storeIn);
    char size[kDecimal64TextSize] = "-1";  // an unknown size
    if (record.size != 0) FormatDecimal64(record.size, size, sizeof(size));
    PutLine(writer, "_RemoteFileSize=", size);
    const char* state = record.state == 1 ? "1" : record.state == 2 ? "2" : "0";
    PutLine(writer, "_State=", state);
    if (record.fileName != nullptr && record.fileName[0] != '\0') {
        PutText(writer, "_RealFileName=");
        PutLine(writer, record.realFolder, record.fileName);
    }
    if (record.checksum != nullptr && record.checksum[0] != '\0') PutLine(writer, "_Checksum=", record.checksum);
    if (record.entityTag != nullptr && record.entityTag[0] != '\0') PutLine(writer, "_ETag=", record.entityTag);
    if (record.lastModified != 0) {
        char seconds[kDecimal64TextSize];
        PutLine(writer, "_LastModified=", FormatDecimal64(record.lastModified, seconds, sizeof(seconds)));
    }
    if (record.failure != nullptr && record.failure[0] != '\0') PutLine(writer, "_Failure=", record.failure);
    // After "_RealFileName": a reader that knows them corrects the offset
    // that the file's size gave.
    if (record.segments != nullptr && record.segments[0] != '\0') PutLine(writer, "_Segments=", record.segments);
    if (record.speedLimit > 0) {
        char limit[kDecimal64TextSize];
        PutLine(writer, "_SpeedLimit=", FormatDecimal64(record.speedLimit, limit, sizeof(limit)));
    }
    PutLine(writer, "Url=", record.url);
}

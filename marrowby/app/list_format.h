// Line-level pieces of the list file format (".wrg") and of plain URL lists:
// reading lines in pieces of a fixed size, splitting key=value settings,
// recognising keys and values, and writing the header and records with
// CR LF line ends. No file or window calls; the callers bring the bytes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "marrowby/engine/url.h"

// A line holds a key, "=", a value of up to a whole URL and the line end.
constexpr size_t kListLineSize = kUrlTextMax + 64;    // list files: pieces of at most 8,255 bytes
constexpr size_t kUrlListLineSize = kUrlTextMax + 2;  // URL lists: a whole URL and its line end

// Supplies bytes: fills buffer with up to capacity bytes and returns how many
// (0 at the end of the input or on a read error).
typedef size_t (*ByteReadFn)(void* context, uint8_t* buffer, size_t capacity);

struct LineSource {
    ByteReadFn read;
    void* context;
    size_t position;
    size_t end;
    bool finished;
    bool started;  // a piece has been read
    uint8_t buffer[65536];
};

void InitLineSource(LineSource* source, ByteReadFn read, void* context);

// Reads the next piece of text as a text-mode stream read would: CR LF counts
// as LF; the piece ends after an LF or when capacity - 1 bytes are stored, so
// a longer line arrives in several pieces. The piece is NUL-terminated.
// A UTF-8 byte order mark at the start of the input (editors write one) is
// skipped when the first call's capacity leaves room for it.
// Returns false when the input is exhausted and nothing was read.
bool ReadLinePiece(LineSource* source, char* line, size_t capacity);

// Splits a setting at its first '=': key is the text before it, value the text
// after it, cut at its line end. Returns 0, or 1 when the line has no '='.
int SplitSetting(char* line, char** key, char** value);

enum ListKey : int {
    kListKeyUnknown = 0,
    kListKeyReferer,         // "RefererStr"
    kListKeyStoreIn,         // "StoreIn"
    kListKeyRemoteFileSize,  // "_RemoteFileSize"
    kListKeyState,           // "_State"
    kListKeyRealFileName,    // "_RealFileName"
    kListKeyUrl,             // "Url"
    kListKeyChecksum,        // "_Checksum": "sha256:" (or "sha1:", "md5:") and hexadecimal digits
    kListKeyEntityTag,       // "_ETag"
    kListKeyLastModified,    // "_LastModified"
    kListKeyFailure,         // "_Failure": why the last run failed ("http-status 404")
    kListKeySegments,        // "_Segments": the segments' progress, "start-end:written,..."
    kListKeySpeedLimit,      // "_SpeedLimit": the download's own limit in KB/s
};

// Compares key with the known keys regardless of ASCII letter case; spaces
// are part of the key.
ListKey MatchListKey(const char* key);

// Whether the input can be a list file: it is empty, begins with the header
// this program writes, or holds a setting with one of the keys above. Any
// other file (an archive or a text chosen by mistake) is not one, and must
// not become the list that is written over it at the next save.
bool LooksLikeListFile(LineSource* source);

// Whether list file bytes (after any conversion from UTF-16) can be read as
// a list without losing or inventing anything.
enum ListTextCheck : int {
    kListTextReadable = 0,
    kListTextHasNul,    // a NUL byte: binary, or text in another encoding
    kListTextLongLine,  // a line longer than a list line, or a longer URL than kept: a value would be cut
    kListTextNotAList,  // see LooksLikeListFile
};
ListTextCheck CheckListText(const uint8_t* bytes, size_t length);

// Bytes held in memory, read through a LineSource (ReadMemoryInput).
struct MemoryInput {
    const uint8_t* bytes;
    size_t length;
    size_t position;
};
size_t ReadMemoryInput(void* context, uint8_t* buffer, size_t capacity);

// A decimal number as C's atoi reads it: leading white space, an optional
// sign, digits up to the first other character; no digits give 0. Values
// beyond 64 bits are clamped.
int64_t ParseListNumber(const char* text);

// The stored state number of a "_State" value: 1 and 2 stay, anything else 0.
int32_t ParseListState(const char* text);

// The base name and extension of a Shift-JIS path: the text after its last
// backslash, slash or colon that is not the second byte of a character.
const char* ListBaseName(const char* path);

// Output with a fixed buffer that is handed to write whenever it fills.
typedef int (*ByteWriteFn)(void* context, const uint8_t* data, size_t length);

struct ListWriter {
    ByteWriteFn write;  // returns 0 when all bytes were written
    void* context;
    size_t length;
    bool failed;  // a write failed; everything later is dropped
    uint8_t buffer[65536];
};

void InitListWriter(ListWriter* writer, ByteWriteFn write, void* context);
// Hands the buffered bytes to write. Returns 0, or 1 when any write failed.
int FlushListWriter(ListWriter* writer);

// One record as written. fileName empty: no "_RealFileName" line.
struct ListRecordOut {
    const char* referrer;
    const char* storeIn;     // the folder as the item holds it
    int64_t size;            // 0 is written as -1
    int32_t state;           // stored state number: 1 completed, 2 paused, else 0
    const char* realFolder;  // folder with its one trailing separator, or empty
    const char* fileName;
    const char* url;
    const char* checksum;            // null or empty: no "_Checksum" line
    const char* entityTag;           // empty: no "_ETag" line
    int32_t lastModified;            // 0: no "_LastModified" line
    const char* failure;             // null or empty: no "_Failure" line
    const char* segments = nullptr;  // null or empty: no "_Segments" line
    int32_t speedLimit = 0;          // 0: no "_SpeedLimit" line
};

// "; Created by <product>" line.
void WriteListHeader(ListWriter* writer, const char* product);
void WriteListRecord(ListWriter* writer, const ListRecordOut& record);

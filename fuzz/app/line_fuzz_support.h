// Shared by the list fuzz targets: bytes handed to a LineSource in reads of
// sizes taken from the input, and every piece read checked against the
// pieces the bytes must give (a leading UTF-8 byte order mark skipped, CR LF
// read as LF, a piece ending after its LF or when capacity - 1 bytes are
// stored).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/engine/fuzz_check.h"
#include "marrowby/app/list_format.h"

constexpr size_t kReadPatternLength = 4;

struct ChunkedBytes {
    const std::string* bytes;
    size_t at;
    const uint8_t* pattern;  // kReadPatternLength read sizes; 0 reads all that fits
    size_t turn;
};

inline size_t ReadChunk(void* context, uint8_t* buffer, size_t capacity)
{
    ChunkedBytes* in = static_cast<ChunkedBytes*>(context);
    size_t n = in->pattern[in->turn++ % kReadPatternLength];
    if (n == 0 || n > capacity) n = capacity;
    if (n > in->bytes->size() - in->at) n = in->bytes->size() - in->at;
    std::memcpy(buffer, in->bytes->data() + in->at, n);
    in->at += n;
    return n;
}

inline std::vector<std::string> ExpectedPieces(const std::string& bytes, size_t capacity)
{
    // A UTF-8 byte order mark that starts the input is skipped if it fits.
    const size_t from = capacity > 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    std::string text;
    for (size_t i = from; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' || i + 1 == bytes.size() || bytes[i + 1] != '\n') text += bytes[i];
    }
    std::vector<std::string> pieces;
    for (size_t start = 0; start < text.size();) {
        const size_t newline = text.find('\n', start);
        size_t end = newline == std::string::npos ? text.size() : newline + 1;
        if (end - start > capacity - 1) end = start + capacity - 1;
        pieces.push_back(text.substr(start, end - start));
        start = end;
    }
    return pieces;
}

// Reads bytes in pieces of capacity bytes and hands each one, checked, to
// take(char* line) as the list readers would see it.
template <typename Take>
void ReadCheckedPieces(const std::string& bytes, const uint8_t* pattern, size_t capacity, Take take)
{
    static LineSource source;  // 64 KiB: kept off the stack
    ChunkedBytes in = {&bytes, 0, pattern, 0};
    InitLineSource(&source, ReadChunk, &in);
    const std::vector<std::string> expected = ExpectedPieces(bytes, capacity);
    std::vector<char> line(capacity);  // on the heap, so a write past it is caught
    size_t count = 0;
    while (ReadLinePiece(&source, line.data(), capacity)) {
        FUZZ_CHECK(count < expected.size());
        const std::string& piece = expected[count++];
        FUZZ_CHECK(std::memcmp(line.data(), piece.data(), piece.size()) == 0 && line[piece.size()] == '\0');
        take(line.data());
    }
    FUZZ_CHECK(count == expected.size() && line[0] == '\0');
    FUZZ_CHECK(!ReadLinePiece(&source, line.data(), capacity));  // the end stays the end
}

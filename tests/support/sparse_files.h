// The sparse files that servers.py --sparse SIZE serves as www/sparse-SIZE.bin
// (zeros, except for pattern bytes in the 64 KiB around every 256 MiB
// boundary and in the last MiB), and local partial files of them. Windows
// tests only: the files are made and read through the Win32 file calls.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sparse {

const int64_t kStep = int64_t{256} << 20;
const int64_t kAround = int64_t{32} << 10;
const int64_t kTail = int64_t{1} << 20;

struct Block {
    int64_t offset;
    int64_t length;
};

// Where a served file of size bytes holds pattern bytes (as sparse_blocks
// in servers.py).
inline std::vector<Block> PatternBlocks(int64_t size)
{
    std::vector<Block> blocks;
    for (int64_t boundary = kStep; boundary < size; boundary += kStep) {
        int64_t end = boundary + kAround < size ? boundary + kAround : size;
        blocks.push_back({boundary - kAround, end - (boundary - kAround)});
    }
    int64_t tail = size > kTail ? size - kTail : 0;
    blocks.push_back({tail, size - tail});
    return blocks;
}

// Bytes [start, start + count) of the served file of size bytes.
inline std::string ServedBytes(int64_t size, int64_t start, size_t count)
{
    std::string bytes(count, '\0');
    const int64_t end = start + static_cast<int64_t>(count);
    for (const Block& block : PatternBlocks(size)) {
        int64_t from = block.offset > start ? block.offset : start;
        int64_t to = block.offset + block.length < end ? block.offset + block.length : end;
        for (int64_t i = from; i < to; ++i) bytes[static_cast<size_t>(i - start)] = static_cast<char>(i % 251);
    }
    return bytes;
}

inline HANDLE OpenFile(const std::string& path, DWORD access, DWORD disposition)
{
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

inline bool WriteAt(HANDLE file, int64_t offset, const std::string& bytes)
{
    LARGE_INTEGER position;
    position.QuadPart = offset;
    DWORD written = 0;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
           WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// A partial download of the served file: its first `have` bytes, made by
// setting the end of an empty file (no disk space for the zeros) and writing
// the pattern blocks below `have`.
inline bool MakePartialFile(const std::string& path, int64_t size, int64_t have)
{
    HANDLE file = OpenFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end;
    end.QuadPart = have;
    bool made = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    for (const Block& block : PatternBlocks(size)) {
        if (!made || block.offset >= have) break;
        int64_t length = block.offset + block.length <= have ? block.length : have - block.offset;
        made = WriteAt(file, block.offset, ServedBytes(size, block.offset, static_cast<size_t>(length)));
    }
    CloseHandle(file);
    return made;
}

inline int64_t FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// True when the file has exactly size bytes and its bytes from `from` on
// are those of the served file; read in pieces of 4 MiB.
inline bool MatchesServedFrom(const std::string& path, int64_t size, int64_t from)
{
    if (FileSize(path) != size) return false;
    HANDLE file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER position;
    position.QuadPart = from;
    bool same = SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
    std::string chunk(4 << 20, '\0');
    for (int64_t at = from; same && at < size;) {
        DWORD want = static_cast<DWORD>(size - at < static_cast<int64_t>(chunk.size()) ? size - at : chunk.size());
        DWORD got = 0;
        same = ReadFile(file, &chunk[0], want, &got, nullptr) && got == want &&
               chunk.compare(0, got, ServedBytes(size, at, got)) == 0;
        at += got;
    }
    CloseHandle(file);
    return same;
}

}  // namespace sparse

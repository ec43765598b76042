// The sparse files that servers.py --sparse SIZE serves as www/sparse-SIZE.bin
// (zeros, except for pattern bytes in the 64 KiB around every 256 MiB
// boundary and in the last MiB), and local partial files resumed into them.
// Windows tests only: the files are made and read through the Win32 calls.
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
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A partial download of `have` bytes that are all zeros, made by setting the
// end of an empty file (no disk space is used). Unlike the served file it
// has no pattern just below `have`, so a body that began early would show.
inline bool MakePartialFile(const std::string& path, int64_t have)
{
    HANDLE file = OpenFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end;
    end.QuadPart = have;
    bool made = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return made;
}

inline int64_t FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// True when a partial file of `have` bytes resumed into the whole served
// file of size bytes: its zeros just below `have` are untouched, and from
// `have` on it holds the served bytes. Read in pieces of 4 MiB.
inline bool ResumedExactlyAt(const std::string& path, int64_t size, int64_t have)
{
    if (FileSize(path) != size) return false;
    HANDLE file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER position;
    position.QuadPart = have - kAround;
    bool same = SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
    std::string chunk(4 << 20, '\0');
    for (int64_t at = position.QuadPart; same && at < size;) {
        int64_t end = at < have ? have : size;  // the zeros, then the served bytes
        DWORD want = static_cast<DWORD>(end - at < static_cast<int64_t>(chunk.size()) ? end - at : chunk.size());
        DWORD got = 0;
        std::string expected = at < have ? std::string(want, '\0') : ServedBytes(size, at, want);
        same = ReadFile(file, &chunk[0], want, &got, nullptr) && got == want && chunk.compare(0, got, expected) == 0;
        at += got;
    }
    CloseHandle(file);
    return same;
}

}  // namespace sparse

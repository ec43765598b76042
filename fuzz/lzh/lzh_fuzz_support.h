// Shared by the archive fuzz targets: the input goes to a file (the reader
// works on files), and every entry is read to its end under a size cap.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "tidewell/lzh/lzh_archive.h"
#include "tidewell/lzh/lzh_decoder.h"
#include "tidewell/lzh/lzh_path.h"

#define LZH_FUZZ_CHECK(condition)                                                              \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// Output read per input at most: damaged entries may claim up to 4 GB.
const uint32_t kLzhFuzzArchiveOutputCap = 256u << 10;
const uint32_t kLzhFuzzDecodeOutputCap = 64u << 10;

// One scratch file per fuzzing process.
inline const std::string& LzhFuzzPath()
{
    static const std::string path = "/tmp/lzh-fuzz-" + std::to_string(getpid()) + ".lzh";
    return path;
}

inline bool LzhFuzzWrite(const uint8_t* data, size_t size)
{
    FILE* file = std::fopen(LzhFuzzPath().c_str(), "wb");
    if (!file) return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

// An entry path that is accepted stays inside the folder it is joined to:
// no root, no ':' and no component (split at every slash and backslash)
// made of dots and spaces alone but for a single dot, which Windows would
// read as ".." or as nothing.
inline void LzhFuzzCheckPath(const LzhEntry* e)
{
    static const char kFolder[] = "dest/";
    const size_t folderLength = sizeof kFolder - 1;
    static char out[2 * LZH_TEXT_SIZE + sizeof kFolder];
    const LzhPathResult result = LzhJoinEntryPath(kFolder, e->directory, e->name, '/', out, sizeof out);
    LZH_FUZZ_CHECK(result == LzhCheckEntryPath(e->directory, e->name));
    if (result != LZH_PATH_OK) return;
    const char* relative = out + folderLength;
    LZH_FUZZ_CHECK(std::strncmp(out, kFolder, folderLength) == 0);
    LZH_FUZZ_CHECK(std::strlen(relative) == std::strlen(e->directory) + std::strlen(e->name));
    LZH_FUZZ_CHECK(relative[0] != '\0' && relative[0] != '/' && relative[0] != '\\');
    LZH_FUZZ_CHECK(std::strchr(relative, ':') == nullptr);
    for (const char* part = relative;; part++) {
        const size_t length = std::strcspn(part, "/\\");
        size_t dots = 0;
        while (dots < length && (part[dots] == '.' || part[dots] == ' ')) dots++;
        LZH_FUZZ_CHECK(dots < length || length == 0 || (length == 1 && part[0] == '.'));
        part += length;
        if (*part == '\0') break;
    }
}

// Opens the written file, reads the headers and every entry; checks what
// must hold for any input.
inline void LzhFuzzReadAll(uint32_t* budget)
{
    LzhArchive archive = {};
    int open = LzhOpen(LzhFuzzPath().c_str(), &archive);
    LZH_FUZZ_CHECK(open >= 0 && open <= 2);
    int headers = open == 0 ? LzhReadHeaders(&archive) : -1;
    LZH_FUZZ_CHECK(headers == -1 || headers == 0 || headers == 2);
    if (headers == 0) {
        LZH_FUZZ_CHECK((archive.count == 0) == (archive.first == nullptr));
        LZH_FUZZ_CHECK(LzhGetEntry(&archive, 0) == nullptr);
        LZH_FUZZ_CHECK(LzhGetEntry(&archive, archive.count + 1) == nullptr);
        static uint8_t buffer[32768];
        for (int32_t n = 1; n <= archive.count; n++) {
            const LzhEntry* e = LzhGetEntry(&archive, n);
            LZH_FUZZ_CHECK(e != nullptr);
            LZH_FUZZ_CHECK(std::memchr(e->name, 0, sizeof e->name) &&
                           std::memchr(e->directory, 0, sizeof e->directory));
            LzhFuzzCheckPath(e);
            int select = LzhSelectEntry(&archive, n);
            LZH_FUZZ_CHECK(select == 0 || select == -2);
            if (select != 0) continue;
            uint64_t total = 0;
            while (*budget > 0) {
                uint32_t want = *budget < sizeof buffer ? *budget : uint32_t(sizeof buffer);
                uint32_t got = LzhRead(buffer, want);
                LZH_FUZZ_CHECK(got <= want);
                if (got == 0) break;
                total += got;
                *budget -= got;
            }
            LZH_FUZZ_CHECK(total <= e->originalSize);
        }
    }
    LzhClose(&archive);
    LZH_FUZZ_CHECK(std::strcmp(archive.path, "closed") == 0);
}

// SHA-256 throughput of the system's CNG under Wine (or Windows): hashes a
// file in 1 MiB pieces, as a finished download is checked, and a buffer
// already in memory, and prints MB/s of the best of several runs.
//
//   hash_bench.exe FILE [RUNS]
#include <windows.h>

#include <bcrypt.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tidewell/updater/file_digest.h"

namespace {

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

void Hex(const uint8_t* digest, char* out)
{
    for (size_t i = 0; i < kSha256Size; ++i) std::snprintf(out + 2 * i, 3, "%02x", digest[i]);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: hash_bench FILE [RUNS]\n");
        return 1;
    }
    int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(argv[1], GetFileExInfoStandard, &info)) return 2;
    double megabytes = double(uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow) / 1e6;
    uint8_t digest[kSha256Size];
    char hex[2 * kSha256Size + 1];
    double bestFile = 1e9;
    for (int run = 0; run < runs; ++run) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        if (!Sha256File(argv[1], digest)) return 2;
        QueryPerformanceCounter(&end);
        if (Seconds(start, end) < bestFile) bestFile = Seconds(start, end);
    }
    Hex(digest, hex);
    // The same bytes from memory: what the hashing itself costs.
    std::vector<uint8_t> bytes(64u << 20, 0x5A);
    double bestMemory = 1e9;
    for (int run = 0; run < runs; ++run) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        if (!Sha256(bytes.data(), bytes.size(), digest)) return 2;
        QueryPerformanceCounter(&end);
        if (Seconds(start, end) < bestMemory) bestMemory = Seconds(start, end);
    }
    std::printf("%s\n", hex);
    std::printf("cng-file %.1f\n", megabytes / bestFile);
    std::printf("cng-memory %.1f\n", double(bytes.size()) / 1e6 / bestMemory);
    return 0;
}

// Drives the decoders directly: the first input byte picks a method, the
// next three give the original size, the rest is the packed data, wrapped
// in a level-2 header so that every method sees arbitrary data quickly.
#include "fuzz/lzh/lzh_fuzz_support.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char* const kMethods[] = {"-lh0-", "-lh1-", "-lh2-", "-lh3-", "-lh4-", "-lh5-",
                                           "-lzs-", "-lz5-", "-lz4-", "-lh6-", "-lh7-"};
    if (size < 4) return 0;
    const char* method = kMethods[data[0] % (sizeof kMethods / sizeof kMethods[0])];
    const uint32_t originalSize = uint32_t(data[1]) | uint32_t(data[2]) << 8 | uint32_t(data[3]) << 16;
    const uint32_t packed = uint32_t(size - 4);

    std::vector<uint8_t> archive = {0, 0};
    archive.insert(archive.end(), method, method + 5);
    for (uint32_t value : {packed, originalSize, 0u})
        for (int i = 0; i < 4; i++) archive.push_back(uint8_t(value >> (8 * i)));
    archive.insert(archive.end(), {0, 2, 0, 0, 'w', 0, 0});  // level 2, no extended headers
    archive[0] = uint8_t(archive.size());
    archive.insert(archive.end(), data + 4, data + size);
    archive.push_back(0);
    if (!LzhFuzzWrite(archive.data(), archive.size())) return 0;

    uint32_t budget = kLzhFuzzDecodeOutputCap;
    LzhFuzzReadAll(&budget);
    return 0;
}

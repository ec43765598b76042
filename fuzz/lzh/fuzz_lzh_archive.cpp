// Opens the input as an archive, reads its headers and every entry to its
// end (up to a cap on the total output).
#include "fuzz/lzh/lzh_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!LzhFuzzWrite(data, size)) return 0;
    uint32_t budget = kLzhFuzzArchiveOutputCap;
    LzhFuzzReadAll(&budget);
    return 0;
}

// Turns any input into a local file name at several capacities.
#include <cstdint>
#include <string>

#include "safe_name_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    CheckSafeLocalFileName(input.c_str());
    return 0;
}

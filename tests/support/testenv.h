// Where tests find the shared test data, the sources and the build tree.
// The paths come from the environment CTest sets; under Wine they are in
// the Z: form that the Windows test programs can open.
#pragma once

#include <cstdlib>
#include <string>

inline const char* EnvOrNull(const char* name)
{
    const char* value = std::getenv(name);
    return (value && *value) ? value : nullptr;
}

// The read-only shared test data folder, or nullptr when it is absent.
inline const char* TestDataDir()
{
    return EnvOrNull("MW_TESTDATA");
}

// A path below the shared test data folder; empty when the folder is absent.
inline std::string TestPath(const char* relative)
{
    const char* dir = TestDataDir();
    if (!dir) return std::string();
    return std::string(dir) + "/" + relative;
}

inline std::string SourcePath(const char* relative)
{
    const char* dir = EnvOrNull("MW_SOURCE_DIR");
    return std::string(dir ? dir : ".") + "/" + relative;
}

inline std::string BinPath(const char* relative)
{
    const char* dir = EnvOrNull("MW_BIN_DIR");
    return std::string(dir ? dir : ".") + "/" + relative;
}

// A scratch folder for one test binary inside the build tree.
inline std::string ScratchDir(const char* name)
{
    const char* dir = EnvOrNull("MW_BUILD_DIR");
    return std::string(dir ? dir : ".") + "/scratch/" + name;
}

// Usable as the first statement of a test that needs the shared data.
#define SKIP_WITHOUT_TESTDATA()                                                  \
    do {                                                                         \
        if (!TestDataDir()) GTEST_SKIP() << "shared test data folder is absent"; \
    } while (0)

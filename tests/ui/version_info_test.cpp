// Both programs' version information read through the system's version
// API, as Explorer shows it: the numbers and texts of the file VERSION, the
// Japanese string block arriving in Shift-JIS, the English one beside it.
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <windows.h>

#include "product_version.h"
#include "tests/support/testenv.h"

namespace {

std::vector<char> VersionInfo(const std::string& path)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<char> data(size);
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, data.data())) data.clear();
    return data;
}

std::string Text(std::vector<char>& data, const char* block, const char* key)
{
    std::string query = std::string("\\StringFileInfo\\") + block + "\\" + key;
    char* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) || !text) return "(none)";
    return text;
}

void ExpectVersionInfo(const char* program, const char* japanese, const char* english)
{
    std::string path = BinPath(program);
    std::vector<char> data = VersionInfo(path);
    ASSERT_FALSE(data.empty()) << path;

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    const DWORD high = MW_VERSION_MAJOR << 16 | MW_VERSION_MINOR;
    const DWORD low = MW_VERSION_PATCH << 16 | MW_VERSION_TWEAK;
    EXPECT_EQ(high, fixed->dwFileVersionMS);
    EXPECT_EQ(low, fixed->dwFileVersionLS);
    EXPECT_EQ(high, fixed->dwProductVersionMS);
    EXPECT_EQ(low, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

    WORD* translation = nullptr;
    ASSERT_TRUE(
        VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(8u, length);
    EXPECT_EQ(0x0411, translation[0]);
    EXPECT_EQ(932, translation[1]);
    EXPECT_EQ(0x0409, translation[2]);
    EXPECT_EQ(1252, translation[3]);

    const struct {
        const char* block;
        const char* description;
    } blocks[] = {{"041103a4", japanese}, {"040904e4", english}};
    for (const auto& b : blocks) {
        EXPECT_EQ(MW_VERSION_TEXT, Text(data, b.block, "FileVersion")) << b.block;
        EXPECT_EQ(MW_VERSION_TEXT, Text(data, b.block, "ProductVersion")) << b.block;
        EXPECT_EQ(b.description, Text(data, b.block, "FileDescription")) << b.block;
        EXPECT_EQ(program, Text(data, b.block, "OriginalFilename")) << b.block;
        EXPECT_EQ("Marrowby", Text(data, b.block, "ProductName")) << b.block;
    }
}

TEST(VersionInfo, MarrowbyCarriesTheProductVersionInJapaneseAndEnglish)
{
    // "Marrowby HTTP daunro-do mane-ja" in Shift-JIS.
    ExpectVersionInfo("marrowby.exe",
                      "Marrowby HTTP \x83_\x83"
                      "E\x83\x93\x83\x8d\x81[\x83h\x83}\x83l\x81[\x83W\x83\x83",
                      "Marrowby HTTP download manager");
}

TEST(VersionInfo, TidewellCarriesTheSameVersion)
{
    // "Tidewell Marrowby koushin puroguramu" in Shift-JIS.
    ExpectVersionInfo("tidewell.exe", "Tidewell Marrowby \x8dX\x90V\x83v\x83\x8d\x83O\x83\x89\x83\x80",
                      "Tidewell Marrowby updater");
}

}  // namespace

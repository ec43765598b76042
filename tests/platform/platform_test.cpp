// The Windows programs are ANSI programs for a Japanese system: under the
// test runner the ANSI code page must be Shift-JIS (932), and the shared test
// data and sources must be reachable through the paths the runner passes.
#include <windows.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/testenv.h"

TEST(Platform, AnsiCodePageIsShiftJis)
{
    EXPECT_EQ(932u, GetACP());
    // "Japanese" written in Shift-JIS: each character is a lead and a trail byte.
    const char sjis[] = "\x93\xfa\x96\x7b\x8c\xea";
    wchar_t wide[8] = {};
    ASSERT_EQ(4, MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, sjis, -1, wide, 8));
    EXPECT_EQ(0x65E5, wide[0]);
    EXPECT_EQ(0x672C, wide[1]);
    EXPECT_EQ(0x8A9E, wide[2]);
    EXPECT_TRUE(IsDBCSLeadByte(0x81));
    EXPECT_FALSE(IsDBCSLeadByte(0x5C));
}

TEST(Platform, SourceTreeIsReachable)
{
    std::string path = SourcePath("CMakeLists.txt");
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, file) << path;
    std::fclose(file);
}

TEST(Platform, SharedTestDataIsReachableWhenPresent)
{
    SKIP_WITHOUT_TESTDATA();
    std::string path = TestPath("lzh/MANIFEST.tsv");
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, file) << path;
    std::fclose(file);
}

TEST(Platform, TemporaryFolderIsWritable)
{
    char folder[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(sizeof folder, folder));
    char name[MAX_PATH];
    ASSERT_NE(0u, GetTempFileNameA(folder, "mw", 0, name));
    EXPECT_TRUE(DeleteFileA(name));
}

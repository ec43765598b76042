#include "marrowby/engine/path_helpers.h"
#include "common/text_helpers.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/testenv.h"

namespace {

std::string Separated(const char* path, size_t capacity = 264)
{
    char buffer[264] = {};
    strncpy(buffer, path, sizeof buffer - 1);
    AppendFolderSeparator(buffer, capacity);
    return buffer;
}

std::string Cut(const char* text)
{
    char buffer[64] = {};
    strncpy(buffer, text, sizeof buffer - 1);
    CutAtLineEnd(buffer);
    return buffer;
}

bool IsFolder(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Names in a folder, "." and ".." left out.
std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

}  // namespace

TEST(AppendFolderSeparator, EndsInExactlyOneBackslash)
{
    EXPECT_EQ(Separated("C:\\dl"), "C:\\dl\\");
    EXPECT_EQ(Separated("C:\\dl\\"), "C:\\dl\\");
    EXPECT_EQ(Separated("C:\\dl/\\//"), "C:\\dl\\");
    EXPECT_EQ(Separated("C:\\"), "C:\\");
    EXPECT_EQ(Separated(""), "\\");
}

TEST(AppendFolderSeparator, KeepsTheTrailByteOfADoubleByteCharacter)
{
    // 0x95 0x5C is one Shift-JIS character whose second byte is a backslash.
    EXPECT_EQ(Separated("C:\\\x95\x5C"), "C:\\\x95\x5C\\");
    EXPECT_EQ(Separated("C:\\\x95\x5C\\\\"), "C:\\\x95\x5C\\");
}

TEST(AppendFolderSeparator, RemovesASeparatorAfterATrailByteInTheLeadRange)
{
    // 0x83 0x81 is one character whose second byte also lies in the lead
    // byte range: the backslash after it is a separator of its own.
    EXPECT_EQ(Separated("C:\\\x83\x81\\"), "C:\\\x83\x81\\");
    EXPECT_EQ(Separated("C:\\\x83\x81/\\"), "C:\\\x83\x81\\");
}

TEST(AppendFolderSeparator, DropsALeadByteCutFromItsTrailByte)
{
    // A folder cut in the middle of 0x83 0x5C: the backslash must not pair
    // with the lone 0x83 into that character.
    EXPECT_EQ(Separated("C:\\dl\\sub\x83"), "C:\\dl\\sub\\");
    EXPECT_EQ(Separated("C:\\dl\x83/\x83"), "C:\\dl\\");
    EXPECT_EQ(Separated("C:\\\x83!"), "C:\\\x83!\\");  // not at the end: kept
}

TEST(AppendFolderSeparator, NeverWritesPastTheBuffer)
{
    // Room for "abc" and its terminator only: the separator does not fit.
    char buffer[5] = "abc/";
    EXPECT_EQ(AppendFolderSeparator(buffer, 4), 1);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(AppendFolderSeparator(buffer, 5), 0);
    EXPECT_STREQ(buffer, "abc\\");
}

TEST(CutAtLineEnd, CutsAtTheFirstCarriageReturnOrLineFeed)
{
    EXPECT_EQ(Cut("http://h/f\r\nrest"), "http://h/f");
    EXPECT_EQ(Cut("a\nb\rc"), "a");
    EXPECT_EQ(Cut("no line end"), "no line end");
    EXPECT_EQ(Cut("\x95\x5C"
                  "x\r"),
              "\x95\x5C"
              "x");
    // A line feed is never a trail byte, so it ends the line after a lead byte.
    EXPECT_EQ(Cut("a\x81\nb"), "a\x81");
}

TEST(CreateFolderPath, CreatesEveryMissingLevel)
{
    std::string base = ScratchDir("path_helpers");
    std::filesystem::remove_all(base);
    std::filesystem::create_directories(base);
    std::string deep = base + "\\one/two\\three\\";
    EXPECT_EQ(CreateFolderPath(deep.c_str()), 0);
    EXPECT_TRUE(IsFolder(base + "\\one\\two\\three"));
    // Existing folders and drive roots are left alone and still succeed.
    EXPECT_EQ(CreateFolderPath(deep.c_str()), 0);
    EXPECT_EQ(CreateFolderPath("Z:\\"), 0);
}

TEST(CreateFolderPath, HandlesADoubleByteNameEndingInByte5C)
{
    std::string base = ScratchDir("path_helpers_sjis");
    std::filesystem::remove_all(base);
    std::filesystem::create_directories(base);
    // "\x95\x5C" must be taken as one character, not as a folder "\x95".
    std::string deep = base + "\\\x95\x5C\\inner";
    CreateFolderPath(deep.c_str());
    EXPECT_TRUE(IsFolder(deep));
    EXPECT_EQ(FolderEntries(base), std::vector<std::string>{"\x95\x5C"});
}

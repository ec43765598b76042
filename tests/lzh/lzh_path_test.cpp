// Confinement of entry paths to the destination folder.
#include <gtest/gtest.h>

#include <string>

#include "tidewell/lzh/lzh_path.h"

namespace {

TEST(LzhPath, OrdinaryPathsPass)
{
    EXPECT_EQ(LzhCheckEntryPath("", "README.TXT"), LZH_PATH_OK);
    EXPECT_EQ(LzhCheckEntryPath("doc\\", "readme.txt"), LZH_PATH_OK);
    EXPECT_EQ(LzhCheckEntryPath("a\\b\\c\\", "x..y"), LZH_PATH_OK);
    EXPECT_EQ(LzhCheckEntryPath("a\\.\\", ".profile"), LZH_PATH_OK);
    EXPECT_EQ(LzhCheckEntryPath("subdir\\", ""), LZH_PATH_OK);  // a directory entry
    EXPECT_EQ(LzhCheckEntryPath("", "..name"), LZH_PATH_OK);
    EXPECT_EQ(LzhCheckEntryPath("", "CONSOLE.TXT"), LZH_PATH_OK);
    EXPECT_EQ(LzhCheckEntryPath("", "COM10"), LZH_PATH_OK);
    // Shift-JIS with 0x5C as second byte: seen as a separator, still inside.
    EXPECT_EQ(LzhCheckEntryPath("\x95\x5C\\", "\x83\x5C.txt"), LZH_PATH_OK);
}

TEST(LzhPath, ParentComponentsAreRefusedWhereverTheyAre)
{
    EXPECT_EQ(LzhCheckEntryPath("..\\", "evil.exe"), LZH_PATH_PARENT);
    EXPECT_EQ(LzhCheckEntryPath("", ".."), LZH_PATH_PARENT);
    EXPECT_EQ(LzhCheckEntryPath("a\\..\\..\\", "x"), LZH_PATH_PARENT);
    EXPECT_EQ(LzhCheckEntryPath("", "a/../../x"), LZH_PATH_PARENT);
    EXPECT_EQ(LzhCheckEntryPath("a\\", "..\\x"), LZH_PATH_PARENT);
    // Directory and name are joined directly: "dir\" + ".." climbs.
    EXPECT_EQ(LzhCheckEntryPath("dir\\..", "\\x"), LZH_PATH_PARENT);
    // Windows drops trailing dots and spaces: these climb or vanish too.
    EXPECT_EQ(LzhCheckEntryPath("... \\", "x"), LZH_PATH_PARENT);
    EXPECT_EQ(LzhCheckEntryPath(".. \\", "x"), LZH_PATH_PARENT);
}

TEST(LzhPath, AbsolutePathsDrivesAndStreamsAreRefused)
{
    EXPECT_EQ(LzhCheckEntryPath("\\windows\\", "x.dll"), LZH_PATH_ABSOLUTE);
    EXPECT_EQ(LzhCheckEntryPath("", "/etc/passwd"), LZH_PATH_ABSOLUTE);
    EXPECT_EQ(LzhCheckEntryPath("\\\\server\\share\\", "x"), LZH_PATH_ABSOLUTE);
    EXPECT_EQ(LzhCheckEntryPath("C:\\", "x"), LZH_PATH_DRIVE);
    EXPECT_EQ(LzhCheckEntryPath("", "C:x"), LZH_PATH_DRIVE);
    EXPECT_EQ(LzhCheckEntryPath("", "file.txt:stream"), LZH_PATH_DRIVE);
    EXPECT_EQ(LzhCheckEntryPath("", "NUL"), LZH_PATH_DEVICE);
    EXPECT_EQ(LzhCheckEntryPath("x\\", "com1.txt"), LZH_PATH_DEVICE);
    EXPECT_EQ(LzhCheckEntryPath("lpt9\\", "a"), LZH_PATH_DEVICE);
    EXPECT_EQ(LzhCheckEntryPath("", ""), LZH_PATH_EMPTY);
}

TEST(LzhPath, JoinTurnsSeparatorsAndChecksTheLength)
{
    char out[520];
    EXPECT_EQ(LzhJoinEntryPath("dest/", "a\\b\\", "c.txt", '/', out, sizeof out), LZH_PATH_OK);
    EXPECT_STREQ(out, "dest/a/b/c.txt");
    EXPECT_EQ(LzhJoinEntryPath("C:\\prog\\", "a\\", "c.txt", '\\', out, sizeof out), LZH_PATH_OK);
    EXPECT_STREQ(out, "C:\\prog\\a\\c.txt");
    EXPECT_EQ(LzhJoinEntryPath("", "", "c.txt", '\\', out, sizeof out), LZH_PATH_OK);
    EXPECT_STREQ(out, "c.txt");
    // The second byte of a double-byte character stays a 0x5C.
    EXPECT_EQ(LzhJoinEntryPath("d/", "\x95\x5C\\", "\x83\x5Cx\\y", '/', out, sizeof out), LZH_PATH_OK);
    EXPECT_STREQ(out, "d/\x95\x5C/\x83\x5Cx/y");
    // 519 characters fit, 520 do not.
    std::string folder(519 - 5, 'f');
    EXPECT_EQ(LzhJoinEntryPath(folder.c_str(), "", "c.txt", '\\', out, sizeof out), LZH_PATH_OK);
    EXPECT_EQ(std::string(out).size(), 519u);
    folder += 'f';
    out[0] = 'z';
    EXPECT_EQ(LzhJoinEntryPath(folder.c_str(), "", "c.txt", '\\', out, sizeof out), LZH_PATH_TOO_LONG);
    EXPECT_EQ(LzhJoinEntryPath("dest/", "..\\", "c.txt", '/', out, sizeof out), LZH_PATH_PARENT);
    EXPECT_STRNE(LzhPathResultText(LZH_PATH_PARENT), "");
}

}  // namespace

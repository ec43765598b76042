#include "common/bounded_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(BoundedText, CopiesAreCutAndTerminated)
{
    char small[4];
    EXPECT_EQ(3u, mw_text::Copy(small, "abcdef"));
    EXPECT_STREQ("abc", small);
    EXPECT_EQ(0u, mw_text::Copy(small, nullptr));
    EXPECT_STREQ("", small);
    // A counted copy stops at its count and at a NUL, whichever comes first.
    EXPECT_EQ(2u, mw_text::CopyN(small, "abcdef", 2));
    EXPECT_STREQ("ab", small);
    EXPECT_EQ(1u, mw_text::CopyN(small, "a\0bc", 3));
    EXPECT_STREQ("a", small);

    char untouched = 'x';
    EXPECT_EQ(0u, mw_text::Copy(&untouched, 0, "abc"));
    EXPECT_EQ('x', untouched);
}

TEST(BoundedText, AppendJoinsAndCutsToTheCapacity)
{
    char path[8];
    mw_text::Copy(path, "C:\\d\\");
    EXPECT_EQ(7u, mw_text::Append(path, sizeof path, "file.bin"));
    EXPECT_STREQ("C:\\d\\fi", path);
    EXPECT_EQ(7u, mw_text::Append(path, sizeof path, "more"));
    EXPECT_STREQ("C:\\d\\fi", path);

    mw_text::Copy(path, "ab");
    EXPECT_EQ(2u, mw_text::Append(path, sizeof path, nullptr));
    EXPECT_STREQ("ab", path);

    // Text without a terminator within the capacity is not written past.
    char full[4];
    std::memset(full, 'z', sizeof full);
    EXPECT_EQ(sizeof full, mw_text::Append(full, sizeof full, "x"));
    EXPECT_EQ(0, std::memcmp(full, "zzzz", sizeof full));
}

}  // namespace

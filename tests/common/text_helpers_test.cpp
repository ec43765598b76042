#include "common/text_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A counted word inside a larger text, as header parameters and device names
// are compared: only the counted bytes take part, a NUL ends them sooner.
TEST(TextCompare, CountedTextAgainstAWholeWord)
{
    const char header[] = "BASIC realm=\"x\"";
    EXPECT_EQ(0, SameTextIgnoringCase(header, 5, "basic"));
    EXPECT_EQ(1, SameTextIgnoringCase(header, 4, "basic"));    // too short
    EXPECT_EQ(1, SameTextIgnoringCase(header, 6, "basic"));    // too long
    EXPECT_EQ(0, SameTextIgnoringCase("Con\0xyz", 7, "CON"));  // the NUL ends it
    EXPECT_EQ(0, SameTextIgnoringCase("lpt", 100, "LPT"));     // count beyond the end
    EXPECT_EQ(0, SameTextIgnoringCase(nullptr, 3, ""));
    EXPECT_EQ(0, SameTextIgnoringCase("abc", 0, nullptr));
    EXPECT_EQ(1, SameTextIgnoringCase("\xC4x", 2, "\xE4x"));  // only A-Z fold
}

TEST(TextLines, CutAtTheFirstLineEndStepsOverDoubleByteCharacters)
{
    char value[] = "\x83\x5c\x8d\r\nrest";  // a lone lead byte before the CR
    CutAtLineEnd(value);
    EXPECT_EQ(std::string("\x83\x5c\x8d"), value);
}

TEST(TextLines, TrimBlanksKeepsInnerBlanksAndTrailBytes)
{
    const struct {
        const char* text;
        const char* trimmed;
    } cases[] = {{" \thttp://h/a b.zip\t ", "http://h/a b.zip"},
                 {"   ", ""},
                 {"", ""},
                 {"x", "x"},
                 {"\x81\x40 ", "\x81\x40"}};  // a double-byte space is not a blank here
    for (const auto& c : cases) {
        char value[32];
        strcpy(value, c.text);
        TrimBlanks(value);
        EXPECT_STREQ(c.trimmed, value) << c.text;
    }
}

}  // namespace

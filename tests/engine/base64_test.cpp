#include "marrowby/engine/base64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "marrowby/engine/http_result.h"

namespace {

std::string Encoded(const std::string& input)
{
    char output[256];
    EXPECT_EQ(kHttpOk, EncodeBase64(output, sizeof output, input.data(), input.size()));
    return output;
}

TEST(Base64, Rfc4648Vectors)
{
    EXPECT_EQ("", Encoded(""));
    EXPECT_EQ("Zg==", Encoded("f"));
    EXPECT_EQ("Zm8=", Encoded("fo"));
    EXPECT_EQ("Zm9v", Encoded("foo"));
    EXPECT_EQ("Zm9vYg==", Encoded("foob"));
    EXPECT_EQ("Zm9vYmE=", Encoded("fooba"));
    EXPECT_EQ("Zm9vYmFy", Encoded("foobar"));
}

TEST(Base64, HighBytesUseWholeAlphabet)
{
    EXPECT_EQ("+/8=", Encoded(std::string("\xFB\xFF", 2)));
    EXPECT_EQ("AAAA", Encoded(std::string(3, '\0')));
    EXPECT_EQ("QWxhZGRpbjpvcGVuIHNlc2FtZQ==", Encoded("Aladdin:open sesame"));
}

TEST(Base64, RefusesTooSmallOutput)
{
    char output[16];
    std::memset(output, '#', sizeof output);
    EXPECT_EQ(kHttpOutputTooSmall, EncodeBase64(output, 8, "foobar", 6));
    EXPECT_EQ('\0', output[0]);
    EXPECT_EQ('#', output[1]);
    EXPECT_EQ(kHttpOk, EncodeBase64(output, 9, "foobar", 6));
    EXPECT_STREQ("Zm9vYmFy", output);
    EXPECT_EQ('#', output[9]);
    EXPECT_EQ(size_t{9}, Base64EncodedSize(6));
    EXPECT_EQ(size_t{5}, Base64EncodedSize(1));
    EXPECT_EQ(size_t{1}, Base64EncodedSize(0));
}

}  // namespace

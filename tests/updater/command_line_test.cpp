// The updater's command line: quoted arguments, missing quotes, and
// arguments longer than the parser's 127 characters.
#include <gtest/gtest.h>

#include <string>

#include "tidewell/updater/command_line.h"

namespace {

TEST(CommandLine, QuotedArgumentsAndMissingQuotes)
{
    CommandLineArgs args;
    EXPECT_FALSE(ParseCommandLine("", &args));
    EXPECT_FALSE(ParseCommandLine("http://host/info.qvn", &args));      // no quotes
    EXPECT_FALSE(ParseCommandLine("  \"http://host/info.qvn", &args));  // unclosed
    EXPECT_FALSE(args.hasUrl);
    EXPECT_STREQ("", args.url);

    ASSERT_TRUE(ParseCommandLine("x \"http://host/a.qvn\" y", &args));
    EXPECT_STREQ("http://host/a.qvn", args.url);
    EXPECT_FALSE(args.hasInfoFile);
    EXPECT_FALSE(args.hasFolder);

    ASSERT_TRUE(ParseCommandLine("\"http://host/a.qvn\" \"local.qvn\" \"C:\\dl\"", &args));
    EXPECT_STREQ("http://host/a.qvn", args.url);
    EXPECT_TRUE(args.hasInfoFile);
    EXPECT_STREQ("local.qvn", args.infoFile);
    EXPECT_TRUE(args.hasFolder);
    EXPECT_STREQ("C:\\dl\\", args.folder);

    ASSERT_TRUE(ParseCommandLine("\"u\"\"f\"\"C:/dl/\"", &args));
    EXPECT_STREQ("C:/dl/", args.folder);
    // A folder ending in a double-byte character whose second byte is 0x5C
    // (0x95 0x5C) still gets its backslash.
    ASSERT_TRUE(ParseCommandLine("\"u\" \"f\" \"C:\\\x95\x5c\"", &args));
    EXPECT_STREQ("C:\\\x95\x5c\\", args.folder);

    ASSERT_TRUE(ParseCommandLine("\"u\" \"unclosed", &args));
    EXPECT_STREQ("u", args.url);
    EXPECT_FALSE(args.hasInfoFile);
}

TEST(CommandLine, LongArgumentsKeepTheirFirst127Characters)
{
    std::string url = "http://host/" + std::string(188, 'p');  // 200 characters
    CommandLineArgs args;
    ASSERT_TRUE(ParseCommandLine(("\"" + url + "\" \"second.qvn\" \"C:\\dl\"").c_str(), &args));
    EXPECT_EQ(url.substr(0, 127), args.url);
    // The rest of the long argument is skipped to its closing quote, so the
    // next arguments are read from their own quotes.
    EXPECT_STREQ("second.qvn", args.infoFile);
    EXPECT_STREQ("C:\\dl\\", args.folder);

    // A cut never splits a double-byte character: 126 bytes and a pair.
    std::string sjis = std::string(126, 'a') + "\x95\x5c" + "tail";
    ASSERT_TRUE(ParseCommandLine(("\"" + sjis + "\"").c_str(), &args));
    EXPECT_EQ(std::string(126, 'a'), args.url);

    // The second argument has the same limit.
    ASSERT_TRUE(ParseCommandLine(("\"u\" \"" + std::string(200, 'f') + "\"").c_str(), &args));
    EXPECT_EQ(std::string(127, 'f'), args.infoFile);
}

}  // namespace

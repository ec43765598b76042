// Files beyond 4 GiB: a 5 GiB sparse file from nginx (servers.py --sparse),
// resumed by tessaline-get from a sparse partial file of 4.5 GiB, so that
// only the last 512 MiB travel.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/sparse_files.h"
#include "tests/transfer/tool_runner.h"
#include "tests/transfer/transfer_support.h"

namespace {

const int64_t kFiveGiB = int64_t{5} << 30;
const int64_t kFourAndAHalfGiB = int64_t{9} << 29;

// The access log line nginx writes for a request once it has ended;
// empty when none appears within a few seconds.
std::string AccessLogLine(const std::string& requestLine)
{
    for (int i = 0; i < 50; i++) {
        std::string log = ReadFileBytes(ServerDir() + "\\nginx-access.log");
        size_t at = log.find("\"" + requestLine + "\"");
        if (at != std::string::npos) {
            size_t start = log.rfind('\n', at);
            start = start == std::string::npos ? 0 : start + 1;
            return log.substr(start, log.find('\n', at) - start);
        }
        Sleep(100);
    }
    return std::string();
}

}  // namespace

TEST(BigFileTest, FiveGiBFileResumesAtFourAndAHalfGiB)
{
    if (ServerPort("MW_NGINX_PORT") == 0 || !EnvOrNull("MW_SERVER_DIR_WIN"))
        GTEST_SKIP() << "run through tests/support/servers.py --sparse 5368709120";
    if (!FileExists(ServerDir() + "\\www\\sparse-5368709120.bin"))
        GTEST_SKIP() << "servers.py serves no sparse-5368709120.bin (--sparse 5368709120)";
    std::string folder = FreshFolder();
    std::string path = folder + "/sparse-5368709120.bin";
    ASSERT_TRUE(sparse::MakePartialFile(path, kFourAndAHalfGiB));

    std::string url = LocalUrl(ServerPort("MW_NGINX_PORT"), "/sparse-5368709120.bin");
    ToolResult result =
        RunTool(url + " --folder \"" + folder + "\" --offset 4831838208 --last-name sparse-5368709120.bin");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.Has("accepted status=206 total=5368709120 first=4831838208 name=sparse-5368709120.bin"))
        << (result.lines.empty() ? "" : result.lines[0]);
    EXPECT_EQ(result.Last().compare(0, 16, "bytes=536870912 "), 0) << result.Last();

    // The request asked for exactly the missing part, and only that came.
    EXPECT_EQ(AccessLogLine("GET /sparse-5368709120.bin HTTP/1.0"),
              "127.0.0.1 \"GET /sparse-5368709120.bin HTTP/1.0\" \"bytes=4831838208-\" 206 536870912");
    // Whole and right: the partial file's zeros just below the resume point
    // are untouched, and everything from there on is the server's.
    EXPECT_TRUE(sparse::ResumedExactlyAt(path, kFiveGiB, kFourAndAHalfGiB));
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}

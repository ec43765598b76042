// tessaline-get as a child process against nginx, tinyproxy and the
// scripted server: output lines, exit codes and the saved files.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/transfer/tool_runner.h"
#include "tests/transfer/transfer_support.h"

namespace {

const int64_t kBigFileSize = 8 << 20;  // what servers.py puts into www/big.bin

class TessalineGetTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (HttpPort() == 0 || ServerPort("MW_NGINX_PORT") == 0 || ServerPort("MW_PROXY_PORT") == 0)
            GTEST_SKIP() << "run through tests/support/servers.py";
        if (!FileExists(ToolPath())) GTEST_SKIP() << "tessaline-get.exe is not built";
        id_ = TestId();
        folder_ = FreshFolder();
    }

    std::string Folder() const { return " --folder \"" + folder_ + "\""; }
    std::string BigUrl() const { return LocalUrl(ServerPort("MW_NGINX_PORT"), "/big.bin"); }
    std::string Scripted(const std::string& nameAndQuery) const
    {
        return "\"" + LocalUrl(HttpPort(), "/" + id_ + "/" + nameAndQuery) + "\"";
    }

    std::string id_;
    std::string folder_;
};

}  // namespace

TEST_F(TessalineGetTest, LargeFileFromNginxArrivesByteExact)
{
    ToolResult result = RunTool(BigUrl() + Folder());
    EXPECT_EQ(result.exitCode, 0u);
    ASSERT_GE(result.lines.size(), 3u);
    EXPECT_EQ(result.lines[0], "accepted status=200 total=8388608 first=0 name=big.bin");
    EXPECT_EQ(result.lines[1], "closed");
    EXPECT_EQ(result.Last().compare(0, 14, "bytes=8388608 "), 0) << result.Last();
    EXPECT_EQ(ReadFileBytes(folder_ + "/big.bin"), Pattern(0, kBigFileSize));
}

TEST_F(TessalineGetTest, ResumesALargeFileFromNginx)
{
    const int64_t have = 3 << 20;
    WriteFileBytes(folder_ + "/big.bin", Pattern(0, have));
    ToolResult result = RunTool(BigUrl() + Folder() + " --offset " + std::to_string(have) + " --last-name big.bin");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(result.Has("accepted status=206 total=8388608 first=3145728 name=big.bin"));
    EXPECT_EQ(result.Last().compare(0, 14, "bytes=5242880 "), 0) << result.Last();
    EXPECT_EQ(ReadFileBytes(folder_ + "/big.bin"), Pattern(0, kBigFileSize));
}

TEST_F(TessalineGetTest, DownloadsThroughTinyproxy)
{
    std::string proxy = " --proxy 127.0.0.1:" + std::to_string(ServerPort("MW_PROXY_PORT"));
    ToolResult result = RunTool(BigUrl() + Folder() + proxy);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(ReadFileBytes(folder_ + "/big.bin"), Pattern(0, kBigFileSize));
    // The proxy saw the absolute form, port included.
    std::string log = ReadFileBytes(ServerDir() + "\\tinyproxy.log");
    std::string line = "GET http://127.0.0.1:" + std::to_string(ServerPort("MW_NGINX_PORT")) + "/big.bin HTTP/1.0";
    EXPECT_NE(log.find(line), std::string::npos) << line;

    // Through the proxy to the scripted server, with a Basic challenge.
    ToolResult challenged =
        RunTool(Scripted("p.bin?size=5000&auth=basic") + Folder() + proxy + " --user u --password p");
    EXPECT_EQ(challenged.exitCode, 0u);
    EXPECT_EQ(ReadFileBytes(folder_ + "/p.bin"), Pattern(0, 5000));
    EXPECT_NE(RecordedRequest(id_, 2).find("Authorization: Basic dTpw"), std::string::npos);
}

TEST_F(TessalineGetTest, VerboseDataLinesAddUpToTheBytes)
{
    ToolResult result = RunTool(Scripted("v.bin?size=200000") + Folder() + " --verbose");
    EXPECT_EQ(result.exitCode, 0u);
    int64_t sum = 0;
    for (const std::string& line : result.lines)
        if (line.compare(0, 5, "data ") == 0) sum += atoll(line.c_str() + 5);
    EXPECT_EQ(sum, 200000);
    EXPECT_EQ(result.Last().compare(0, 13, "bytes=200000 "), 0) << result.Last();
}

TEST_F(TessalineGetTest, ExitCodesTellHowTheRunEnded)
{
    ToolResult notFound = RunTool(Scripted("nf.bin?status=404") + Folder());
    EXPECT_EQ(notFound.exitCode, 1u);
    ASSERT_FALSE(notFound.lines.empty());
    EXPECT_EQ(notFound.lines.front(), "failed");

    WriteFileBytes(folder_ + "/blocker", "x");
    ToolResult fileError = RunTool(Scripted("fe.bin?size=10") + " --folder \"" + folder_ + "\\blocker\\x\"");
    EXPECT_EQ(fileError.exitCode, 3u);
    ASSERT_FALSE(fileError.lines.empty());
    EXPECT_EQ(fileError.lines.front(), "file-error");

    ToolResult cut = RunTool(Scripted("cut.bin?size=9000&cut=100") + Folder());
    EXPECT_EQ(cut.exitCode, 4u);
    EXPECT_TRUE(cut.Has("closed"));

    ToolResult unsized = RunTool(Scripted("u.bin?size=900&nolen=1") + Folder());
    EXPECT_EQ(unsized.exitCode, 0u);
    EXPECT_TRUE(unsized.Has("accepted status=200 total=0 first=0 name=u.bin"));

    ToolResult bad = RunTool("\"ftp://127.0.0.1/x\"" + Folder());
    EXPECT_EQ(bad.exitCode, 1u);
}

TEST_F(TessalineGetTest, SilentServerTicksThenTimesOut)
{
    ToolResult result = RunTool(Scripted("s.bin?silent=1") + Folder() + " --ticks --timeout 1200");
    EXPECT_EQ(result.exitCode, 2u);
    EXPECT_GE(result.CountStartingWith("tick"), 2);
    EXPECT_TRUE(result.Has("timed-out"));
    EXPECT_EQ(result.CountStartingWith("closed"), 0);
    EXPECT_EQ(result.Last().compare(0, 8, "bytes=0 "), 0) << result.Last();
}

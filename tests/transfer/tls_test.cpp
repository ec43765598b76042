// DownloadJob and tessaline-get over TLS, against nginx, the scripted server
// and tinyproxy with the run's own certificates (servers.py --tls-helper).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/transfer/tool_runner.h"
#include "tests/transfer/transfer_support.h"

namespace {

const int64_t kBigFileSize = 100 << 20;  // www/big.bin of this run

bool FileHasPattern(const std::string& path, int64_t size);

class TlsJobTest : public DownloadJobFixture {
protected:
    void SetUp() override
    {
        DownloadJobFixture::SetUp();
        if (IsSkipped()) return;
        if (ServerPort("MW_HTTPS_PORT") == 0 || ServerPort("MW_NGINX_TLS_PORT") == 0)
            GTEST_SKIP() << "run through tests/support/servers.py --tls-helper";
    }

    // A resource of this test on the scripted TLS server (or another port),
    // by the name its certificate carries.
    std::string Secure(const std::string& nameAndQuery, const char* portVariable = "MW_HTTPS_PORT")
    {
        return "https://localhost:" + std::to_string(ServerPort(portVariable)) + "/" + id_ + "/" + nameAndQuery;
    }
    // The same port in the clear: the scripted TLS server answers both.
    std::string Plain(const std::string& nameAndQuery)
    {
        return "http://localhost:" + std::to_string(ServerPort("MW_HTTPS_PORT")) + "/" + id_ + "/" + nameAndQuery;
    }
    std::string Nginx(const char* portVariable, const char* name)
    {
        return "https://localhost:" + std::to_string(ServerPort(portVariable)) + "/" + name;
    }

    JobOutcome RunWith(JobRecorder& recorder, const std::string& url, int waitMs = 20000)
    {
        run_.url = url;
        return RunJob(run_, recorder, waitMs);
    }

    bool FolderIsEmpty() { return std::filesystem::is_empty(folder_); }
    bool SavedExactly(const std::string& name, int64_t size) { return FileHasPattern(folder_ + "/" + name, size); }
};

// True when the file holds exactly `size` bytes of the served pattern; read
// in pieces, so 100 MB need no 100 MB string.
bool FileHasPattern(const std::string& path, int64_t size)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::string chunk(1 << 20, '\0');
    int64_t at = 0;
    bool same = true;
    size_t got;
    while (same && (got = fread(&chunk[0], 1, chunk.size(), file)) > 0) {
        same = at + (int64_t)got <= size && chunk.compare(0, got, Pattern(at, got)) == 0;
        at += (int64_t)got;
    }
    fclose(file);
    return same && at == size;
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

void CutFile(const std::string& path, int64_t size)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER position;
    position.QuadPart = size;
    EXPECT_TRUE(SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
}

}  // namespace

TEST_F(TlsJobTest, NginxFileArrivesByteExactAndResumesWithARange)
{
    run_.timeoutMs = 20000;
    ASSERT_EQ(RunWith(recorder_, Nginx("MW_NGINX_TLS_PORT", "big.bin"), 120000).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(recorder_.summary.totalSize, kBigFileSize);
    EXPECT_EQ(recorder_.DataBytes(), kBigFileSize);
    EXPECT_TRUE(FileHasPattern(folder_ + "/big.bin", kBigFileSize));

    // The last 10 MB are gone; resuming asks for them with a Range.
    const int64_t have = kBigFileSize - (10 << 20);
    CutFile(folder_ + "/big.bin", have);
    run_.offset = have;
    run_.lastName = "big.bin";
    JobRecorder resumed;
    ASSERT_EQ(RunWith(resumed, Nginx("MW_NGINX_TLS_PORT", "big.bin"), 60000).started, 0);
    EXPECT_EQ(resumed.Sequence(), "accepted data closed");
    EXPECT_EQ(resumed.summary.status, 206);
    EXPECT_EQ(resumed.summary.rangeFirst, have);
    EXPECT_EQ(resumed.DataBytes(), kBigFileSize - have);
    EXPECT_TRUE(FileHasPattern(folder_ + "/big.bin", kBigFileSize));
}

TEST_F(TlsJobTest, RequestTextIsUnchangedAndAnyRecordShapeIsRead)
{
    run_.userAgent = "Marrowby/0.23 ( built on Tessaline )";
    ASSERT_EQ(Run(Secure("small.bin?size=150000")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(RecordedRequest(id_, 1), "GET /" + id_ +
                                           "/small.bin?size=150000 HTTP/1.0\r\n"
                                           "Host: localhost:" +
                                           std::to_string(ServerPort("MW_HTTPS_PORT")) +
                                           "\r\nUser-Agent: Marrowby/0.23 ( built on Tessaline )\r\n"
                                           "Accept: */*\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(SavedExactly("small.bin", 150000));

    // Every byte of the answer in a record of its own, many records per
    // receive; then the records cut into 7-byte pieces across receives; then
    // a TLS 1.2 handshake held back and sent in 40-byte pieces.
    struct Shape {
        std::string url;
        std::string name;
        size_t size;
    } shapes[] = {{Secure("bytes.bin?size=3000&tlsrec=1"), "bytes.bin", 3000},
                  {Secure("pieces.bin?size=700&pieces=7"), "pieces.bin", 700},
                  {Secure("slow.bin?size=20000", "MW_HTTPS_SLOW_PORT"), "slow.bin", 20000}};
    for (const Shape& shape : shapes) {
        JobRecorder recorder;
        ASSERT_EQ(RunWith(recorder, shape.url).started, 0);
        EXPECT_EQ(recorder.Sequence(), "accepted data closed") << shape.url;
        EXPECT_TRUE(SavedExactly(shape.name, shape.size)) << shape.url;
    }
}

TEST_F(TlsJobTest, ServerAskingForANewHandshakeMidStreamIsServed)
{
    // openssl s_server sends a HelloRequest after the request, then answers.
    const std::string body = "renegotiation survived\r\n";
    ASSERT_EQ(Run("https://localhost:" + std::to_string(ServerPort("MW_HTTPS_RENEGOTIATE_PORT")) + "/r.txt").started,
              0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(recorder_.summary.totalSize, (int32_t)body.size());
    EXPECT_EQ(Saved("r.txt"), body);
}

TEST_F(TlsJobTest, EndWithoutCloseNotifyIsNeverTakenForACompleteBody)
{
    // Unsized body: complete only when the server's close_notify says so.
    JobOutcome closed = Run(Secure("notify.bin?size=70000&nolen=1"));
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(closed.failure, JobFailureNone);
    EXPECT_TRUE(SavedExactly("notify.bin", 70000));

    JobRecorder cut;
    JobOutcome truncated = RunWith(cut, Secure("cut.bin?size=70000&nolen=1&notify=0"));
    EXPECT_EQ(cut.Sequence(), "accepted data failed");
    EXPECT_EQ(truncated.failure, JobFailureTlsTruncated);

    // A sized body cut short is closed short, as over plain HTTP.
    JobRecorder sized;
    JobOutcome outcome = RunWith(sized, Secure("short.bin?size=100000&cut=30000&notify=0"));
    EXPECT_EQ(sized.Sequence(), "accepted data closed");
    EXPECT_EQ(outcome.failure, JobFailureNone);
    EXPECT_EQ(sized.DataBytes(), 30000);
    EXPECT_TRUE(SavedExactly("short.bin", 30000));
}

TEST_F(TlsJobTest, ReceiveDeadlineHoldsDuringHandshakeAndStalledStream)
{
    run_.timeoutMs = 1200;
    ASSERT_EQ(Run(Secure("silent.bin?silent=1")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "timed-out");
    EXPECT_FALSE(FileExists(folder_ + "/silent.bin"));

    JobRecorder stalled;
    ASSERT_EQ(RunWith(stalled, Secure("stall.bin?size=90000&stall=20000")).started, 0);
    EXPECT_EQ(stalled.Sequence(), "accepted data timed-out");
    EXPECT_EQ(stalled.DataBytes(), 20000);

    // The slow server holds its handshake back for a second.
    run_.timeoutMs = 400;
    JobRecorder handshake;
    ASSERT_EQ(RunWith(handshake, Secure("h.bin", "MW_HTTPS_SLOW_PORT")).started, 0);
    EXPECT_EQ(handshake.Sequence(), "timed-out");
    EXPECT_FALSE(FileExists(folder_ + "/h.bin"));
}

TEST_F(TlsJobTest, RedirectsFromHttpToHttpsAndBackAreFollowed)
{
    std::string last = Plain("c.bin?size=2000");
    std::string middle = Secure("b.bin?status=302&loc=" + QueryEscape(last));
    ASSERT_EQ(Run(Plain("a.bin?status=302&loc=" + QueryEscape(middle))).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(RecordedRequestCount(id_), 3);
    EXPECT_TRUE(StartsWith(RecordedRequest(id_, 2), "GET /" + id_ + "/b.bin?"));
    EXPECT_TRUE(SavedExactly("c.bin", 2000));
}

TEST_F(TlsJobTest, BasicOverTlsAndTheLoginStaysWithItsScheme)
{
    run_.user = "u";
    run_.password = "p";
    ASSERT_EQ(Run(Secure("auth.bin?size=5000&auth=basic")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_NE(RecordedRequest(id_, 2).find("\r\nAuthorization: Basic dTpw\r\n"), std::string::npos);
    EXPECT_TRUE(SavedExactly("auth.bin", 5000));

    // After the login was given over https, a redirect to http on the same
    // host and port must not carry it: the server's challenge there stays
    // unanswered.
    std::string plain = Plain("s2.bin?auth=basic");
    JobRecorder dropped;
    JobOutcome outcome = RunWith(dropped, Secure("s1.bin?auth=basic&status=302&loc=" + QueryEscape(plain)));
    EXPECT_EQ(dropped.Sequence(), "failed");
    EXPECT_EQ(outcome.failure, JobFailureLogin);
    ASSERT_EQ(RecordedRequestCount(id_), 5);
    EXPECT_NE(RecordedRequest(id_, 4).find("\r\nAuthorization: Basic dTpw\r\n"), std::string::npos);
    std::string request = RecordedRequest(id_, 5);
    EXPECT_TRUE(StartsWith(request, "GET /" + id_ + "/s2.bin?")) << request;
    EXPECT_EQ(request.find("Authorization"), std::string::npos) << request;

    JobRecorder missing;
    EXPECT_EQ(RunWith(missing, Secure("nf.bin?status=404")).failure, JobFailureHttpStatus);
    EXPECT_EQ(missing.Sequence(), "failed");
    EXPECT_FALSE(FileExists(folder_ + "/nf.bin"));
}

TEST_F(TlsJobTest, ProxyOpensATunnelAndRefusalsFailTheJob)
{
    if (ServerPort("MW_PROXY_PORT") == 0 || ServerPort("MW_PROXY_AUTH_PORT") == 0)
        GTEST_SKIP() << "tinyproxy is not running";
    std::string proxy = "127.0.0.1:" + std::to_string(ServerPort("MW_PROXY_PORT"));
    run_.proxy = proxy.c_str();
    ASSERT_EQ(Run(Secure("tunnel.bin?size=300000")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_TRUE(SavedExactly("tunnel.bin", 300000));
    // Inside the tunnel the request is the origin's own.
    EXPECT_TRUE(StartsWith(RecordedRequest(id_, 1), "GET /" + id_ + "/tunnel.bin?"));
    std::string log = ReadFileBytes(ServerDir() + "\\tinyproxy.log");
    std::string connect = "CONNECT localhost:" + std::to_string(ServerPort("MW_HTTPS_PORT"));
    EXPECT_NE(log.find(connect), std::string::npos) << connect;

    // A port the proxy does not tunnel to.
    JobRecorder forbidden;
    JobOutcome outcome = RunWith(forbidden, Nginx("MW_NGINX_UNTRUSTED_PORT", "big.bin"));
    EXPECT_EQ(forbidden.Sequence(), "failed");
    EXPECT_EQ(outcome.failure, JobFailureProxyTunnel);

    // The proxy that wants a login: refused without, tunnels with it.
    std::string guarded = "127.0.0.1:" + std::to_string(ServerPort("MW_PROXY_AUTH_PORT"));
    run_.proxy = guarded.c_str();
    JobRecorder refused;
    EXPECT_EQ(RunWith(refused, Secure("guarded.bin?size=1000")).failure, JobFailureProxyTunnel);
    EXPECT_FALSE(FileExists(folder_ + "/guarded.bin"));
    std::string withLogin = "u:p@" + guarded;
    run_.proxy = withLogin.c_str();
    JobRecorder admitted;
    ASSERT_EQ(RunWith(admitted, Secure("guarded.bin?size=1000")).started, 0);
    EXPECT_EQ(admitted.Sequence(), "accepted data closed");
    EXPECT_TRUE(SavedExactly("guarded.bin", 1000));
}

TEST_F(TlsJobTest, TunnelThroughAProxyGivenAsAnIpv6Literal)
{
    if (ServerPort("MW_PROXY6_PORT") == 0)
        GTEST_SKIP() << "no tinyproxy on [::1]: no IPv6 loopback, or not run through servers.py --ipv6";
    std::string proxy = "u:p@[::1]:" + std::to_string(ServerPort("MW_PROXY6_PORT"));
    run_.proxy = proxy.c_str();
    ASSERT_EQ(Run(Secure("tunnel6.bin?size=300000")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_TRUE(SavedExactly("tunnel6.bin", 300000));
    EXPECT_TRUE(StartsWith(RecordedRequest(id_, 1), "GET /" + id_ + "/tunnel6.bin?"));
    std::string log = ReadFileBytes(ServerDir() + "\\tinyproxy6.log");
    std::string connect = "CONNECT localhost:" + std::to_string(ServerPort("MW_HTTPS_PORT"));
    EXPECT_NE(log.find(connect), std::string::npos) << connect;
}

TEST_F(TlsJobTest, BadCertificatesAndHandshakesFailWithAReasonAndNoFile)
{
    struct Case {
        std::string url;
        int32_t failure;
    } cases[] = {
        {Nginx("MW_NGINX_UNTRUSTED_PORT", "big.bin"), JobFailureCertificateUntrusted},
        {Nginx("MW_NGINX_EXPIRED_PORT", "big.bin"), JobFailureCertificateExpired},
        {Nginx("MW_NGINX_WRONGNAME_PORT", "big.bin"), JobFailureCertificateName},
        // The right certificate, asked for by another name.
        {"https://127.0.0.1:" + std::to_string(ServerPort("MW_NGINX_TLS_PORT")) + "/big.bin",
         JobFailureCertificateName},
        // No TLS at all on the other side.
        {"https://localhost:" + std::to_string(ServerPort("MW_NGINX_PORT")) + "/big.bin", JobFailureTlsHandshake},
    };
    for (const Case& c : cases) {
        JobRecorder recorder;
        JobOutcome outcome = RunWith(recorder, c.url);
        EXPECT_EQ(recorder.Sequence(), "failed") << c.url;
        EXPECT_EQ(outcome.failure, c.failure) << c.url;
        EXPECT_EQ(recorder.Count(JobData), 0) << c.url;
    }
    EXPECT_TRUE(FolderIsEmpty());
}

TEST_F(TlsJobTest, TessalineGetDownloadsHttpsAndPrintsWhyItFailed)
{
    if (!FileExists(ToolPath())) GTEST_SKIP() << "tessaline-get.exe is not built";
    std::string folder = " --folder \"" + folder_ + "\"";
    ToolResult fetched = RunTool("\"" + Secure("tool.bin?size=5000") + "\"" + folder);
    EXPECT_EQ(fetched.exitCode, 0u);
    EXPECT_TRUE(fetched.Has("accepted status=200 total=5000 first=0 name=tool.bin"));
    EXPECT_TRUE(SavedExactly("tool.bin", 5000));

    ToolResult refused = RunTool(Nginx("MW_NGINX_EXPIRED_PORT", "big.bin") + folder);
    EXPECT_EQ(refused.exitCode, 1u);
    ASSERT_GE(refused.lines.size(), 2u);
    EXPECT_EQ(refused.lines[0], "failed");
    EXPECT_TRUE(StartsWith(refused.lines[1], "reason=certificate-expired (")) << refused.lines[1];
    EXPECT_FALSE(FileExists(folder_ + "/big.bin"));
}

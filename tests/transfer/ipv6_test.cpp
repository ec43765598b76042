// DownloadJob over IPv6 (servers.py --ipv6): nginx on [::1], redirects to an
// IPv6 literal and resuming there, a name whose first address refuses or
// does not answer, and a proxy given as an IPv6 literal.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/transfer/transfer_support.h"

namespace {

const int64_t kBigFileSize = 8 << 20;  // what servers.py puts into www/big.bin

// True when this Wine can make an IPv6 socket.
bool WineHasIpv6()
{
    SOCKET probe = socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    if (probe == INVALID_SOCKET) return false;
    closesocket(probe);
    return true;
}

class Ipv6Test : public DownloadJobFixture {
protected:
    void SetUp() override
    {
        DownloadJobFixture::SetUp();
        if (IsSkipped()) return;
        if (!EnvOrNull("MW_IPV6"))
            GTEST_SKIP() << "no IPv6 loopback (::1) on this machine, or not run through servers.py --ipv6";
        if (!WineHasIpv6()) GTEST_SKIP() << "Wine cannot make IPv6 sockets here";
        if (ServerPort("MW_NGINX_PORT") == 0) GTEST_SKIP() << "nginx is not running";
    }

    std::string Nginx6(const std::string& path)
    {
        return "http://[::1]:" + std::to_string(ServerPort("MW_NGINX_PORT")) + path;
    }
    // URL of a resource of this test on a scripted server, by host name.
    std::string Named(const char* host, int port, const std::string& nameAndQuery)
    {
        return "http://" + std::string(host) + ":" + std::to_string(port) + "/" + id_ + "/" + nameAndQuery;
    }
    std::string ServerLog(const char* name) { return ReadFileBytes(ServerDir() + "\\" + name); }
};

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(Ipv6Test, Ipv6LiteralDownloadsRedirectsAndResumes)
{
    ASSERT_EQ(Run(Nginx6("/big.bin")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(Saved("big.bin"), Pattern(0, kBigFileSize));
    EXPECT_TRUE(Contains(ServerLog("nginx-access.log"), "::1 \"GET /big.bin HTTP/1.0\" \"-\" 200 8388608"));

    // From the IPv4 scripted server to the IPv6 literal, and resuming there:
    // the last 3 MiB are missing.
    const int64_t have = 5 << 20;
    WriteFileBytes(folder_ + "/big.bin", Pattern(0, have));
    run_.offset = have;
    run_.lastName = "big.bin";
    JobRecorder resumed;
    std::string location = QueryEscape(Nginx6("/big.bin"));
    run_.url = Url("hop.bin?status=302&loc=" + location);
    ASSERT_EQ(RunJob(run_, resumed).started, 0);
    EXPECT_EQ(resumed.Sequence(), "accepted data closed");
    EXPECT_EQ(resumed.summary.status, 206);
    EXPECT_EQ(resumed.summary.rangeFirst, have);
    EXPECT_EQ(Saved("big.bin"), Pattern(0, kBigFileSize));
    EXPECT_TRUE(
        Contains(ServerLog("nginx-access.log"), "::1 \"GET /big.bin HTTP/1.0\" \"bytes=5242880-\" 206 3145728"));
}

TEST_F(Ipv6Test, NameWhoseFirstAddressFailsConnectsThroughTheNext)
{
    const char* dual = EnvOrNull("MW_DUAL_HOST");
    if (dual == nullptr) GTEST_SKIP() << "servers.py found no libnss_wrapper for a name with two addresses";
    // The name gives ::1 first; the scripted servers listen on 127.0.0.1
    // only. At the first port ::1 refuses at once.
    run_.timeoutMs = 3000;
    DWORD started = GetTickCount();
    ASSERT_EQ(Run(Named(dual, HttpPort(), "a.bin?size=5000")).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_LT(GetTickCount() - started, 2500u);
    EXPECT_EQ(Saved("a.bin"), Pattern(0, 5000));
    EXPECT_TRUE(
        Contains(RecordedRequest(id_, 1), "Host: " + std::string(dual) + ":" + std::to_string(HttpPort()) + "\r\n"));

    // At the second port ::1 does not answer at all: after the connect
    // deadline (the job's time-out) the next address is tried.
    JobRecorder silentFirst;
    run_.url = Named(dual, HttpPort2(), "b.bin?size=7000");
    started = GetTickCount();
    ASSERT_EQ(RunJob(run_, silentFirst).started, 0);
    DWORD took = GetTickCount() - started;
    EXPECT_EQ(silentFirst.Sequence(), "accepted data closed");
    EXPECT_GE(took, 2900u);
    EXPECT_LT(took, 9000u);
    EXPECT_EQ(Saved("b.bin"), Pattern(0, 7000));

    // The other way round: 127.0.0.1 first, where nginx does not listen,
    // then ::1, where it does.
    const char* v4first = EnvOrNull("MW_DUAL_HOST_V4FIRST");
    ASSERT_NE(v4first, nullptr);
    JobRecorder ipv6Second;
    run_.url = "http://" + std::string(v4first) + ":" + std::to_string(ServerPort("MW_NGINX6_PORT")) + "/big.bin";
    ASSERT_EQ(RunJob(run_, ipv6Second).started, 0);
    EXPECT_EQ(ipv6Second.Sequence(), "accepted data closed");
    EXPECT_EQ(Saved("big.bin"), Pattern(0, kBigFileSize));

    // With no other address to go to, the deadline fails the connect.
    JobRecorder silentOnly;
    run_.url = "http://[::1]:" + std::to_string(HttpPort2()) + "/" + id_ + "/c.bin";
    run_.timeoutMs = 1500;
    started = GetTickCount();
    JobOutcome outcome = RunJob(run_, silentOnly);
    took = GetTickCount() - started;
    EXPECT_EQ(silentOnly.Sequence(), "failed");
    EXPECT_EQ(outcome.failure, JobFailureNetwork);
    EXPECT_GE(took, 1400u);
    EXPECT_LT(took, 6000u);
}

TEST_F(Ipv6Test, ProxyGivenAsAnIpv6Literal)
{
    if (ServerPort("MW_PROXY6_PORT") == 0) GTEST_SKIP() << "tinyproxy on [::1] is not running";
    std::string proxy = "[::1]:" + std::to_string(ServerPort("MW_PROXY6_PORT"));
    run_.proxy = proxy.c_str();
    run_.proxyDefaultPort = 8080;
    std::string url = LocalUrl(ServerPort("MW_NGINX_PORT"), "/big.bin");
    ASSERT_EQ(Run(url).started, 0);
    EXPECT_EQ(recorder_.Sequence(), "accepted data closed");
    EXPECT_EQ(Saved("big.bin"), Pattern(0, kBigFileSize));
    EXPECT_TRUE(Contains(ServerLog("tinyproxy6.log"), "GET " + url + " HTTP/1.0"));

    // An IPv6 origin through the same proxy: the request line brackets it.
    JobRecorder both;
    run_.url = Nginx6("/big.bin");
    ASSERT_EQ(RunJob(run_, both).started, 0);
    EXPECT_EQ(both.Sequence(), "accepted data closed");
    EXPECT_TRUE(Contains(ServerLog("tinyproxy6.log"), "GET " + Nginx6("/big.bin") + " HTTP/1.0"));

    // Without its closing bracket the proxy names nothing to connect to:
    // the job fails instead of going around the proxy.
    JobRecorder broken;
    std::string brokenProxy = "[::1:" + std::to_string(ServerPort("MW_PROXY6_PORT"));
    run_.proxy = brokenProxy.c_str();
    run_.url = url;
    EXPECT_EQ(RunJob(run_, broken).started, 1);
    EXPECT_EQ(broken.Sequence(), "failed");
}

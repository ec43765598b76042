// Segmented downloads over every path a first connection can take: TLS to
// nginx directly and through each proxy's tunnel (with and without its
// login, over IPv4 and IPv6), after a redirect to another server over TLS
// or [::1], and with a login and validators over TLS. Each further
// connection must take the same path as the first: the servers' logs show
// the ranges and where they came from, the file must come out byte-exact.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/transfer/segment_checks.h"
#include "tests/transfer/tool_runner.h"
#include "tests/transfer/transfer_support.h"

namespace {

const int64_t kServedSize = 8 << 20;

class SegmentPathsTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (ServerPort("MW_HTTPS_PORT") == 0 || ServerPort("MW_NGINX_TLS_PORT") == 0)
            GTEST_SKIP() << "run through tests/support/servers.py --tls-helper";
        if (!FileExists(ToolPath())) GTEST_SKIP() << "tessaline-get.exe is not built";
        id_ = TestId();
        folder_ = FreshFolder();
    }

    ToolResult Fetch(const std::string& url, const std::string& options)
    {
        return RunTool("\"" + url + "\" --folder \"" + folder_ + "\" --segments 4 " + options);
    }
    std::string NginxTls(const std::string& target) const
    {
        return "https://localhost:" + std::to_string(ServerPort("MW_NGINX_TLS_PORT")) + target;
    }
    std::string Saved(const std::string& name) const { return folder_ + "/" + name; }

    std::string id_;
    std::string folder_;
};

struct Tunnel {
    const char* tag;    // the query that tells this case's requests apart
    std::string proxy;  // --proxy, empty for a direct connection
    const char* log;    // the proxy's log in the server folder
};

TEST_F(SegmentPathsTest, TlsSegmentsDirectAndThroughEveryProxyTunnel)
{
    ServePatternFile("segtls.bin", kServedSize);
    std::vector<Tunnel> tunnels = {{"direct", "", nullptr}};
    if (ServerPort("MW_PROXY_PORT") != 0)
        tunnels.push_back({"proxied", "127.0.0.1:" + std::to_string(ServerPort("MW_PROXY_PORT")), "tinyproxy.log"});
    if (ServerPort("MW_PROXY_AUTH_PORT") != 0)
        tunnels.push_back(
            {"login", "u:p@127.0.0.1:" + std::to_string(ServerPort("MW_PROXY_AUTH_PORT")), "tinyproxy-auth.log"});
    if (ServerPort("MW_PROXY6_PORT") != 0)
        tunnels.push_back({"six", "[::1]:" + std::to_string(ServerPort("MW_PROXY6_PORT")), "tinyproxy6.log"});
    const std::string connect = "CONNECT localhost:" + std::to_string(ServerPort("MW_NGINX_TLS_PORT"));

    for (const Tunnel& tunnel : tunnels) {
        size_t nginxStart = ServerLogSize("nginx-access.log");
        size_t proxyStart = tunnel.log ? ServerLogSize(tunnel.log) : 0;
        const std::string target = std::string("/segtls.bin?") + tunnel.tag;
        ToolResult result = Fetch(NginxTls(target), tunnel.proxy.empty() ? "" : "--proxy " + tunnel.proxy);
        EXPECT_EQ(result.exitCode, 0u) << tunnel.tag << ": " << result.Last();
        EXPECT_TRUE(FileHoldsPattern(Saved("segtls.bin"), kServedSize)) << tunnel.tag;
        EXPECT_FALSE(FileExists(Saved("segtls.bin.segments"))) << tunnel.tag;

        std::vector<NginxRequest> requests = NginxRequestsOf(nginxStart, target);
        EXPECT_GE(RangedCount(requests), 2) << tunnel.tag << ": the further connections asked for their ranges";
        for (const NginxRequest& request : requests) EXPECT_LT(request.status, 300) << tunnel.tag;
        // Each connection opened a tunnel of its own, through the same proxy.
        if (tunnel.log) {
            EXPECT_GE(CountInServerLog(tunnel.log, proxyStart, connect), (int)requests.size()) << tunnel.tag;
        }
        DeleteFileA(Saved("segtls.bin").c_str());
    }
    DeleteFileA((ServerDir() + "\\www\\segtls.bin").c_str());
}

// A redirect leads the first connection elsewhere: the further ones go
// straight to where it ended (over TLS, or over IPv6), never to the address
// that redirected.
TEST_F(SegmentPathsTest, SegmentsGoWhereARedirectLedTheFirstConnection)
{
    ServePatternFile("segmoved.bin", kServedSize);
    struct Move {
        const char* tag;
        std::string to;
    };
    std::vector<Move> moves = {{"tls", NginxTls("/segmoved.bin?tls")}};
    if (EnvOrNull("MW_IPV6") != nullptr && ServerPort("MW_NGINX6_PORT") != 0)
        moves.push_back({"six", "http://[::1]:" + std::to_string(ServerPort("MW_NGINX6_PORT")) + "/segmoved.bin?six"});

    int asked = 0;
    for (const Move& move : moves) {
        size_t nginxStart = ServerLogSize("nginx-access.log");
        std::string from = LocalUrl(ServerPort("MW_HTTPS_PORT"),
                                    "/" + id_ + "/from-" + move.tag + ".bin?status=302&loc=" + QueryEscape(move.to));
        ToolResult result = Fetch(from, "");
        ++asked;
        EXPECT_EQ(result.exitCode, 0u) << move.tag << ": " << result.Last();
        EXPECT_TRUE(FileHoldsPattern(Saved("segmoved.bin"), kServedSize)) << move.tag;
        EXPECT_EQ(RecordedRequestCount(id_), asked) << move.tag << ": only the first connection was redirected";

        std::string target = move.to.substr(move.to.find("/segmoved.bin"));
        std::vector<NginxRequest> requests = NginxRequestsOf(nginxStart, target);
        EXPECT_GE(RangedCount(requests), 2) << move.tag;
        if (std::string(move.tag) == "six") {
            for (const NginxRequest& request : requests) EXPECT_EQ(request.client, "::1") << move.tag;
        }
        DeleteFileA(Saved("segmoved.bin").c_str());
    }
    DeleteFileA((ServerDir() + "\\www\\segmoved.bin").c_str());
}

// The scripted server over TLS demands a login for every request and names
// an ETag: every further connection brings the login, and a server that
// names another ETag to a later range fails the download as changed.
TEST_F(SegmentPathsTest, TlsSegmentsCarryTheLoginAndCheckTheValidators)
{
    const std::string secure = "https://localhost:" + std::to_string(ServerPort("MW_HTTPS_PORT")) + "/" + id_ + "/";
    const int size = 4 << 20;
    ToolResult result =
        Fetch(secure + "guarded.bin?size=" + std::to_string(size) + "&ranges=1&auth=basic&etag=%22v1%22",
              "--user u --password p");
    EXPECT_EQ(result.exitCode, 0u) << result.Last();
    EXPECT_TRUE(FileHoldsPattern(Saved("guarded.bin"), size));
    int ranged = 0;
    for (int n = 1; n <= RecordedRequestCount(id_); ++n) {
        std::string head = RecordedRequest(id_, n);
        if (head.find("\r\nRange: bytes=") == std::string::npos) continue;
        ++ranged;
        EXPECT_NE(head.find("\r\nAuthorization: Basic dTpw\r\n"), std::string::npos) << head;
    }
    EXPECT_GE(ranged, 2);

    ToolResult changed =
        Fetch(secure + "changed.bin?size=" + std::to_string(size) + "&ranges=1&etag=%22a%22&changed=%22b%22", "");
    EXPECT_EQ(changed.exitCode, 1u);
    EXPECT_TRUE(changed.Has("reason=file-changed (the server's file changed while its parts were being fetched)"))
        << changed.Last();
}

}  // namespace

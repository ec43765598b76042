// HttpFetch over WinInet against real servers on 127.0.0.1: nginx serving a
// record and an LZH archive, the scripted server for the edge cases.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <memory>
#include <string>

#include "tests/support/served_pattern.h"
#include "tests/ui/program_support.h"
#include "tests/updater/record_bytes.h"
#include "tidewell/updater/http_fetch.h"

namespace {

uint16_t Crc(const std::string& bytes)
{
    return BitwiseCrc16(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

bool Final(int32_t status)
{
    return status == kFetchNotOpened || status == kFetchDone || status == kFetchFailed;
}

// Polls like the window does until the transfer is final; then Wait.
int32_t Finish(HttpFetch* fetch, DWORD timeoutMs = 30000)
{
    DWORD start = GetTickCount();
    while (!Final(HttpFetchStatus(fetch)) && GetTickCount() - start < timeoutMs) Sleep(16);
    EXPECT_EQ(kFetchOk, HttpFetchWait(fetch));
    return HttpFetchStatus(fetch);
}

struct FetchDeleter {
    void operator()(HttpFetch* fetch) const
    {
        HttpFetchRelease(fetch);
        delete fetch;
    }
};
using FetchPtr = std::unique_ptr<HttpFetch, FetchDeleter>;

FetchPtr NewFetch(const char* agent = "Marrowby Tidewell/2.0")
{
    FetchPtr fetch(new HttpFetch());
    HttpFetchConstruct(fetch.get(), agent);
    return fetch;
}

class HttpFetchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* scripted = getenv("MW_HTTP_PORT");
        const char* nginx = getenv("MW_NGINX_PORT");
        if (!scripted || !nginx || !getenv("MW_SERVER_DIR_WIN"))
            GTEST_SKIP() << "needs the test servers (servers.py with nginx)";
        scripted_ = std::string("http://127.0.0.1:") + scripted + "/";
        nginx_ = std::string("http://127.0.0.1:") + nginx + "/";
        www_ = WindowsPath("MW_SERVER_DIR_WIN") + "www\\";
        out_ = FreshFolder(WindowsPath("MW_BUILD_DIR") + "updater-fetch\\" +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\\");
    }

    std::string scripted_, nginx_, www_, out_;
};

TEST_F(HttpFetchTest, MemoryAndFileModesFromNginx)
{
    RecordBytes record = Record2(0x00180000, 0x11, 0x08, "x", "notes");
    std::string recordBytes(record.begin(), record.end());
    MakeFolders(www_ + "fetch\\");
    WriteWholeFile(www_ + "fetch\\info.qvn", recordBytes);
    FetchPtr fetch = NewFetch();

    // The update information into memory.
    ASSERT_EQ(kFetchOk, HttpFetchStart(fetch.get(), (nginx_ + "fetch/info.qvn").c_str(), nullptr, 65536));
    EXPECT_EQ(kFetchDone, Finish(fetch.get()));
    uint32_t received = 0;
    const uint8_t* buffer = HttpFetchBuffer(fetch.get(), &received);
    ASSERT_EQ(record.size(), received);
    EXPECT_EQ(recordBytes, std::string(reinterpret_cast<const char*>(buffer), received));
    EXPECT_EQ(record.size(), HttpFetchContentLength(fetch.get()));
    EXPECT_EQ(Crc(recordBytes), HttpFetchCrc(fetch.get()));

    // The archive into a file, in a folder given with a trailing backslash
    // and spaces after it: one backslash before the name.
    std::string archive = ReadWholeFile(www_ + "update\\marrowby-0.24.lzh");
    if (archive.empty()) GTEST_SKIP() << "no archive (jlha missing)";
    std::string folder = out_ + "   ";
    ASSERT_EQ(kFetchOk, HttpFetchStart(fetch.get(), (nginx_ + "update/marrowby-0.24.lzh").c_str(), folder.c_str(), 0));
    EXPECT_STREQ((out_ + "marrowby-0.24.lzh").c_str(), fetch->outputPath);
    EXPECT_EQ(kFetchDone, Finish(fetch.get()));
    EXPECT_EQ(archive, ReadWholeFile(out_ + "marrowby-0.24.lzh"));
    EXPECT_EQ(archive.size(), HttpFetchReceived(fetch.get()));
    EXPECT_EQ(archive.size(), HttpFetchContentLength(fetch.get()));
    EXPECT_EQ(Crc(archive), HttpFetchCrc(fetch.get()));
    char name[256];
    HttpFetchFileName(fetch.get(), name, sizeof(name));
    EXPECT_STREQ("marrowby-0.24.lzh", name);
    EXPECT_EQ(nullptr, HttpFetchBuffer(fetch.get(), &received));  // file mode
}

TEST_F(HttpFetchTest, ScriptedEdgeCases)
{
    FetchPtr fetch = NewFetch("Marrowby Tidewell/2.0");
    // 404: failed, and no file is made.
    ASSERT_EQ(kFetchOk, HttpFetchStart(fetch.get(), (scripted_ + "f404/gone.lzh?status=404").c_str(), out_.c_str(), 0));
    EXPECT_EQ(kFetchFailed, Finish(fetch.get()));
    EXPECT_FALSE(FileExists(out_ + "gone.lzh_status=404"));

    // No Content-Length: read to the end, the announced size stays 0.
    ASSERT_EQ(kFetchOk,
              HttpFetchStart(fetch.get(), (scripted_ + "fnolen/n.bin?size=30000&nolen=1").c_str(), out_.c_str(), 0));
    EXPECT_EQ(kFetchDone, Finish(fetch.get()));
    EXPECT_EQ(0u, HttpFetchContentLength(fetch.get()));
    EXPECT_EQ(Pattern(0, 30000), ReadWholeFile(out_ + "n.bin_size=30000&nolen=1"));

    // 70,000 bytes into 65,536: the first 65,536 in order; the CRC runs over
    // every byte read, up to the end of the chunk that did not fit.
    ASSERT_EQ(kFetchOk, HttpFetchStart(fetch.get(), (scripted_ + "fbig/i.qvn?size=70000").c_str(), nullptr, 65536));
    EXPECT_EQ(kFetchDone, Finish(fetch.get()));
    uint32_t received = 0;
    const uint8_t* buffer = HttpFetchBuffer(fetch.get(), &received);
    ASSERT_EQ(65536u, received);
    EXPECT_EQ(Pattern(0, 65536), std::string(reinterpret_cast<const char*>(buffer), received));
    std::string all = Pattern(0, 70000);
    bool crcMatches = false;
    for (size_t n = 65536; n <= all.size() && !crcMatches; ++n)
        crcMatches = BitwiseCrc16(reinterpret_cast<const uint8_t*>(all.data()), n) == HttpFetchCrc(fetch.get());
    EXPECT_TRUE(crcMatches);

    // A body cut short of its Content-Length fails and leaves no file.
    ASSERT_EQ(kFetchOk,
              HttpFetchStart(fetch.get(), (scripted_ + "fcut/c.lzh?size=50000&cut=20000").c_str(), out_.c_str(), 0));
    EXPECT_EQ(kFetchFailed, Finish(fetch.get()));
    EXPECT_EQ(20000u, HttpFetchReceived(fetch.get()));
    EXPECT_FALSE(FileExists(out_ + "c.lzh_size=50000&cut=20000"));

    // A path ending in '/' is saved as "dlfile".
    ASSERT_EQ(kFetchOk, HttpFetchStart(fetch.get(), (scripted_ + "fdir/").c_str(), out_.c_str(), 0));
    EXPECT_EQ(kFetchDone, Finish(fetch.get()));
    EXPECT_EQ(Pattern(0, 1000), ReadWholeFile(out_ + "dlfile"));

    // Every request carried the user agent and asked past any cache.
    std::string request = ReadWholeFile(WindowsPath("MW_SERVER_DIR_WIN") + "requests\\fdir.1");
    EXPECT_NE(std::string::npos, request.find("User-Agent: Marrowby Tidewell/2.0\r\n")) << request;
    EXPECT_EQ(0u, request.find("GET /fdir/ HTTP/1.1\r\n")) << request;
}

TEST_F(HttpFetchTest, RefusedStartsAndUnopenedConnections)
{
    FetchPtr fetch = NewFetch();
    EXPECT_EQ(kFetchBadUrl, HttpFetchStart(fetch.get(), "not a url", nullptr, 65536));
    EXPECT_EQ(kFetchBadUrl, HttpFetchStart(fetch.get(), "ftp://127.0.0.1/a.lzh", nullptr, 65536));
    // https on its default port, and only it with the secure flag; nothing
    // that would let a certificate failure pass.
    const struct {
        const char* url;
        INTERNET_PORT port;
        DWORD flags;
    } kSchemes[] = {{"https://localhost/u.qvn", 443, INTERNET_FLAG_RELOAD | INTERNET_FLAG_SECURE},
                    {"https://localhost:8443/u.qvn", 8443, INTERNET_FLAG_RELOAD | INTERNET_FLAG_SECURE},
                    {"http://localhost/u.qvn", 80, INTERNET_FLAG_RELOAD}};
    for (const auto& scheme : kSchemes) {
        ASSERT_EQ(kFetchOk, PrepareFetchUrl(fetch.get(), scheme.url));
        EXPECT_EQ(scheme.port, fetch->urlParts.nPort) << scheme.url;
        EXPECT_EQ(scheme.flags, FetchRequestFlags(fetch.get())) << scheme.url;
    }
    std::string deep(300, 'd');
    EXPECT_EQ(kFetchPathTooLong, HttpFetchStart(fetch.get(), (scripted_ + "a.lzh").c_str(), deep.c_str(), 0));
    EXPECT_EQ(kFetchNoWorker, HttpFetchWait(fetch.get()));
    EXPECT_EQ(kFetchNoRoot, HttpFetchCancel(fetch.get()));  // no transfer
    // A URL without a host cracks, but no connection can be opened: final.
    ASSERT_EQ(kFetchOk, HttpFetchStart(fetch.get(), "http:///info.qvn", nullptr, 65536));
    EXPECT_EQ(kFetchNotOpened, Finish(fetch.get(), 10000));
    // A server that stays silent keeps the transfer busy until the time-out.
    fetch->timeoutMs = 1500;
    ASSERT_EQ(kFetchOk, HttpFetchStart(fetch.get(), (scripted_ + "fsilent/s.qvn?silent=1").c_str(), nullptr, 65536));
    Sleep(300);
    EXPECT_EQ(kFetchConnecting, HttpFetchStatus(fetch.get()));
    EXPECT_EQ(kFetchBusy, HttpFetchStart(fetch.get(), (scripted_ + "other").c_str(), nullptr, 65536));
    EXPECT_EQ(kFetchFailed, Finish(fetch.get(), 20000));
}

TEST_F(HttpFetchTest, CancelDuringAHundredMegabyteBody)
{
    FetchPtr fetch = NewFetch();
    ASSERT_EQ(kFetchOk, HttpFetchStart(fetch.get(), (nginx_ + "big.bin").c_str(), out_.c_str(), 0));
    DWORD start = GetTickCount();
    while (HttpFetchReceived(fetch.get()) < 1000000 && !Final(HttpFetchStatus(fetch.get())) &&
           GetTickCount() - start < 20000)
        Sleep(5);
    ASSERT_EQ(kFetchReceiving, HttpFetchStatus(fetch.get()));
    EXPECT_EQ(100u << 20, HttpFetchContentLength(fetch.get()));
    // Start while busy leaves the running transfer alone.
    EXPECT_EQ(kFetchBusy, HttpFetchStart(fetch.get(), (nginx_ + "big.bin").c_str(), nullptr, 65536));
    EXPECT_EQ(nullptr, fetch->memory);
    EXPECT_EQ(kFetchOk, HttpFetchCancel(fetch.get()));
    EXPECT_EQ(kFetchOk, HttpFetchCancel(fetch.get()));  // still running: signalled again
    EXPECT_EQ(kFetchDone, Finish(fetch.get()));
    EXPECT_LT(HttpFetchReceived(fetch.get()), 100u << 20);
    EXPECT_FALSE(FileExists(out_ + "big.bin"));             // the partial file is gone
    EXPECT_EQ(kFetchNoRoot, HttpFetchCancel(fetch.get()));  // the worker has ended
    EXPECT_EQ(kFetchNoWorker, HttpFetchWait(fetch.get()));
}

TEST_F(HttpFetchTest, RootHandleCountOverSeveralObjects)
{
    ASSERT_EQ(0, HttpFetchRootCount());
    FetchPtr first = NewFetch();
    HINTERNET root = HttpFetchRootHandle();
    ASSERT_NE(nullptr, root);
    FetchPtr second = NewFetch();
    FetchPtr third = NewFetch();
    EXPECT_EQ(3, HttpFetchRootCount());
    EXPECT_EQ(root, HttpFetchRootHandle());
    second.reset();
    EXPECT_EQ(2, HttpFetchRootCount());
    ASSERT_EQ(kFetchOk, HttpFetchStart(third.get(), (scripted_ + "froot/r.bin?size=5000").c_str(), nullptr, 65536));
    EXPECT_EQ(kFetchDone, Finish(third.get()));
    first.reset();
    third.reset();
    EXPECT_EQ(0, HttpFetchRootCount());
    EXPECT_EQ(nullptr, HttpFetchRootHandle());

    // Without a root handle every operation says so.
    HttpFetch released = {};
    HttpFetchConstruct(&released, "x");
    HttpFetchRelease(&released);
    EXPECT_EQ(kFetchNoRoot, HttpFetchStart(&released, (scripted_ + "x").c_str(), nullptr, 65536));
    EXPECT_EQ(kFetchNoRoot, HttpFetchCancel(&released));
    EXPECT_EQ(kFetchNoRoot, HttpFetchWait(&released));
    EXPECT_EQ(1u, HttpFetchContentLength(&released));
    EXPECT_EQ(1u, HttpFetchReceived(&released));
    FetchPtr again = NewFetch();
    EXPECT_NE(nullptr, HttpFetchRootHandle());
    EXPECT_EQ(1, HttpFetchRootCount());
}

}  // namespace

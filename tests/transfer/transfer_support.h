// Helpers of the transfer tests: the servers started by servers.py, the
// byte pattern every scripted resource serves, files, recorded requests and
// a JobCallback that records what a job reports.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "marrowby/engine/download_job.h"
#include "marrowby/engine/file_name_claims.h"
#include "tests/support/served_pattern.h"
#include "tests/support/testenv.h"

// Port of a server started by servers.py (0 when absent).
inline int ServerPort(const char* variable)
{
    const char* value = EnvOrNull(variable);
    return value ? atoi(value) : 0;
}

inline int HttpPort()
{
    return ServerPort("MW_HTTP_PORT");
}
inline int HttpPort2()
{
    return ServerPort("MW_HTTP_PORT2");
}

#define SKIP_WITHOUT_SERVERS()                                      \
    do {                                                            \
        if (HttpPort() == 0 || !EnvOrNull("MW_SERVER_DIR_WIN"))     \
            GTEST_SKIP() << "run through tests/support/servers.py"; \
    } while (0)

inline std::string ServerDir()
{
    return EnvOrNull("MW_SERVER_DIR_WIN");
}

inline std::string LocalUrl(int port, const std::string& pathAndQuery)
{
    return "http://127.0.0.1:" + std::to_string(port) + pathAndQuery;
}

// text with every byte but letters and digits percent-encoded, for a value
// inside a query.
inline std::string QueryEscape(const std::string& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// text as hex digits, two per byte.
inline std::string HexBytes(const std::string& text)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out;
}

inline bool FileExists(const std::string& path)
{
    return std::filesystem::exists(path);
}

inline std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A unique name for the running test, used as the first path segment so the
// server records its requests apart from every other test's.
inline std::string TestId()
{
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "-" + info->name();
}

// A fresh, empty folder for the running test.
inline std::string FreshFolder()
{
    std::string folder = ScratchDir("transfer") + "/" + TestId();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

// The n-th request (from 1) the scripted servers recorded for id; empty when
// there is none.
inline std::string RecordedRequest(const std::string& id, int n)
{
    std::string path = ServerDir() + "\\requests\\" + id + "." + std::to_string(n);
    return FileExists(path) ? ReadFileBytes(path) : std::string();
}

inline int RecordedRequestCount(const std::string& id)
{
    int n = 0;
    while (!RecordedRequest(id, n + 1).empty()) n++;
    return n;
}

inline bool IsEndCode(int32_t code)
{
    return code == JobClosed || code == JobFailed || code == JobTimedOut || code == JobFileError;
}

inline const char* JobCodeName(int32_t code)
{
    switch (code) {
    case JobAccepted: return "accepted";
    case JobClosed: return "closed";
    case JobData: return "data";
    case JobTimedOut: return "timed-out";
    case JobFailed: return "failed";
    case JobTick: return "tick";
    case JobFileError: return "file-error";
    default: return "?";
    }
}

// Records the reports of one job. Thread-safe: the job calls it on its
// worker thread while the test waits on its own.
class JobRecorder {
public:
    JobRecorder() = default;
    // The recorder stands for a download: the name it holds goes with it.
    ~JobRecorder() { ReleaseFileName(this); }
    JobRecorder(const JobRecorder&) = delete;
    JobRecorder& operator=(const JobRecorder&) = delete;

    JobCallbackRegistration Registration() { return {&JobRecorder::Callback, this}; }

    // Waits until the job reports its end; false after ms without one.
    bool WaitForEnd(int ms)
    {
        std::unique_lock<std::mutex> hold(mutex_);
        return changed_.wait_for(hold, std::chrono::milliseconds(ms), [this] { return ended_; });
    }

    // Waits until code has been reported; false after ms without it.
    bool WaitFor(int32_t code, int ms)
    {
        std::unique_lock<std::mutex> hold(mutex_);
        return changed_.wait_for(hold, std::chrono::milliseconds(ms), [&] { return CountLocked(code) > 0; });
    }

    // The reports up to the first end, ticks left out and runs of data merged:
    // "accepted data closed".
    std::string Sequence()
    {
        std::lock_guard<std::mutex> hold(mutex_);
        std::string text;
        int32_t previous = 0;
        for (const Event& event : events_) {
            if (event.code == JobTick || (event.code == JobData && previous == JobData)) continue;
            if (!text.empty()) text += " ";
            text += JobCodeName(event.code);
            previous = event.code;
            if (IsEndCode(event.code)) break;
        }
        return text;
    }

    int Count(int32_t code)
    {
        std::lock_guard<std::mutex> hold(mutex_);
        return CountLocked(code);
    }

    int64_t DataBytes()
    {
        std::lock_guard<std::mutex> hold(mutex_);
        int64_t total = 0;
        for (const Event& event : events_)
            if (event.code == JobData) total += event.count;
        return total;
    }

    // The largest data report from the first-th report on.
    int32_t LargestDataFrom(size_t first)
    {
        std::lock_guard<std::mutex> hold(mutex_);
        int32_t largest = 0;
        for (size_t i = first; i < events_.size(); ++i)
            if (events_[i].code == JobData && events_[i].count > largest) largest = events_[i].count;
        return largest;
    }

    size_t EventCount()
    {
        std::lock_guard<std::mutex> hold(mutex_);
        return events_.size();
    }

    ResponseSummary summary{};
    DWORD endThread = 0;

private:
    struct Event {
        int32_t code;
        int32_t count;
    };

    static int32_t Callback(void* info, int32_t code, int32_t count, void* userValue)
    {
        JobRecorder& self = *static_cast<JobRecorder*>(userValue);
        std::lock_guard<std::mutex> hold(self.mutex_);
        if (code == JobAccepted) self.summary = *static_cast<const ResponseSummary*>(info);
        self.events_.push_back({code, count});
        if (IsEndCode(code) && !self.ended_) {
            self.ended_ = true;
            self.endThread = GetCurrentThreadId();
        }
        self.changed_.notify_all();
        return 0;
    }

    int CountLocked(int32_t code) const
    {
        int n = 0;
        for (const Event& event : events_)
            if (event.code == code) n++;
        return n;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
    bool ended_ = false;
};

// How a test runs a job: the calls the application makes, in its order.
struct JobRun {
    std::string url;
    int64_t offset = 0;
    std::string folder;
    std::string lastName;
    const char* proxy = nullptr;
    uint16_t proxyDefaultPort = 0;
    std::string user;
    std::string password;
    const char* referer = nullptr;
    const char* userAgent = nullptr;
    uint32_t timeoutMs = 5000;
    std::string entityTag;     // of the server's file when the download began
    int32_t lastModified = 0;  // the same, seconds since 1970
};

struct JobOutcome {
    int prepared = -1;
    int started = -1;
    bool ended = false;
    int32_t failure = -1;        // the job's LastFailure() at its end
    int32_t failureDetail = -1;  // and its LastFailureDetail()
};

// Runs one job to its first end (or waitMs), then stops and destroys it.
inline JobOutcome RunJob(const JobRun& run, JobRecorder& recorder, int waitMs = 15000)
{
    JobOutcome outcome;
    DownloadJob* job = new DownloadJob();
    JobCallbackRegistration registration = recorder.Registration();
    outcome.prepared = job->Prepare(&registration);
    if (outcome.prepared == 0) {
        job->SetProxy(run.proxy, run.proxyDefaultPort);
        job->SetCredentials(run.user.c_str(), run.password.c_str());
        job->SetReferer(run.referer);
        job->SetUserAgent(run.userAgent);
        job->SetValidators(run.entityTag.c_str(), run.lastModified);
        outcome.started = job->Start(run.url.c_str(), run.offset, run.folder.empty() ? nullptr : run.folder.c_str(),
                                     run.lastName.c_str(), run.timeoutMs);
        if (outcome.started == 0) outcome.ended = recorder.WaitForEnd(waitMs);
        outcome.failure = job->LastFailure();
        outcome.failureDetail = job->LastFailureDetail();
    }
    job->Stop();
    delete job;
    return outcome;
}

// A job test: Winsock, the servers, a fresh download folder and the
// recorder of the job's reports.
class DownloadJobFixture : public testing::Test {
protected:
    void SetUp() override
    {
        WSADATA wsa;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 0), &wsa), 0);
        if (HttpPort() == 0) GTEST_SKIP() << "run through tests/support/servers.py";
        id_ = TestId();
        folder_ = FreshFolder();
        run_.folder = folder_;
    }
    void TearDown() override { WSACleanup(); }

    // URL of a resource of this test on the first scripted server.
    std::string Url(const std::string& nameAndQuery, int port = 0)
    {
        return LocalUrl(port ? port : HttpPort(), "/" + id_ + "/" + nameAndQuery);
    }

    std::string Host(int port = 0) { return "127.0.0.1:" + std::to_string(port ? port : HttpPort()); }

    JobOutcome Run(const std::string& url)
    {
        run_.url = url;
        return RunJob(run_, recorder_);
    }

    std::string Saved(const std::string& name) { return ReadFileBytes(folder_ + "/" + name); }

    std::string id_;
    std::string folder_;
    JobRun run_;
    JobRecorder recorder_;
};

#include "marrowby/engine/socket_connection.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "tests/transfer/transfer_support.h"

namespace {

// Records connection events; answers EvData with `dataResult`.
class RecordingSink : public ConnectionSink {
public:
    int32_t OnConnectionEvent(int event, const char* data, uint32_t length, void* context) override
    {
        std::lock_guard<std::mutex> hold(mutex_);
        events.push_back(event);
        contexts.push_back(context);
        if (event == EvData) received.append(data, length);
        changed_.notify_all();
        return event == EvData ? dataResult : 0;
    }

    bool WaitFor(int event, int ms)
    {
        std::unique_lock<std::mutex> hold(mutex_);
        return changed_.wait_for(hold, std::chrono::milliseconds(ms), [&] {
            for (int e : events)
                if (e == event) return true;
            return false;
        });
    }

    int Count(int event)
    {
        std::lock_guard<std::mutex> hold(mutex_);
        int n = 0;
        for (int e : events)
            if (e == event) n++;
        return n;
    }

    // Events without ticks, in order.
    std::vector<int> Significant()
    {
        std::lock_guard<std::mutex> hold(mutex_);
        std::vector<int> out;
        for (int e : events)
            if (e != EvTick && (e != EvData || out.empty() || out.back() != EvData)) out.push_back(e);
        return out;
    }

    std::vector<int> events;
    std::vector<void*> contexts;
    std::string received;
    int32_t dataResult = 0;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

class SocketConnectionTest : public testing::Test {
protected:
    void SetUp() override
    {
        WSADATA wsa;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 0), &wsa), 0);
        buffer_.resize(4096);
    }
    void TearDown() override
    {
        connection_.StopWorker();
        WSACleanup();
    }

    int StartWorker(uint32_t waitMs = 100)
    {
        ReceiveBuffer buffer = {&buffer_[0], static_cast<uint32_t>(buffer_.size())};
        return connection_.StartWorker(&sink_, &buffer, 1, waitMs, &context_);
    }

    // A port on 127.0.0.1 with nothing listening.
    static uint16_t ClosedPort()
    {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int length = sizeof address;
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
        closesocket(s);
        return ntohs(address.sin_port);
    }

    void SendGet(const std::string& pathAndQuery)
    {
        std::string request = "GET " + pathAndQuery + " HTTP/1.0\r\n\r\n";
        ASSERT_EQ(connection_.Send(request.data(), static_cast<uint32_t>(request.size())), 0);
    }

    SocketConnection connection_;
    RecordingSink sink_;
    std::vector<char> buffer_;
    int context_ = 0;
};

}  // namespace

TEST_F(SocketConnectionTest, StartWorkerRejectsAnEmptyBufferList)
{
    ReceiveBuffer buffer = {&buffer_[0], 16};
    EXPECT_EQ(connection_.StartWorker(&sink_, &buffer, 0, 100, nullptr), 1);
    EXPECT_EQ(connection_.StopWorker(), 0);
}

TEST_F(SocketConnectionTest, ClosedPortGivesNetError)
{
    ASSERT_EQ(StartWorker(), 0);
    ASSERT_EQ(connection_.Connect("127.0.0.1", ClosedPort(), 5000), 0);
    ASSERT_TRUE(sink_.WaitFor(EvNetError, 10000));
    EXPECT_EQ(sink_.Count(EvConnected), 0);
}

TEST_F(SocketConnectionTest, ResponseArrivesAsDataThenClosed)
{
    SKIP_WITHOUT_SERVERS();
    ASSERT_EQ(StartWorker(), 0);
    // "localhost" goes through name resolution (the hosts file, no network).
    ASSERT_EQ(connection_.Connect("localhost", static_cast<uint16_t>(HttpPort()), 5000), 0);
    ASSERT_TRUE(sink_.WaitFor(EvConnected, 5000));
    SendGet("/" + TestId() + "/f.bin?size=20000&nolen=1");
    ASSERT_TRUE(sink_.WaitFor(EvClosed, 5000));
    EXPECT_EQ(sink_.Significant(), (std::vector<int>{EvConnected, EvData, EvClosed}));
    size_t headEnd = sink_.received.find("\r\n\r\n");
    ASSERT_NE(headEnd, std::string::npos);
    EXPECT_EQ(sink_.received.substr(headEnd + 4), Pattern(0, 20000));
    for (void* context : sink_.contexts) EXPECT_EQ(context, &context_);
}

TEST_F(SocketConnectionTest, SilentServerTicksThenTimesOutThenClosed)
{
    SKIP_WITHOUT_SERVERS();
    ASSERT_EQ(StartWorker(200), 0);
    ASSERT_EQ(connection_.Connect("127.0.0.1", static_cast<uint16_t>(HttpPort()), 1000), 0);
    ASSERT_TRUE(sink_.WaitFor(EvConnected, 5000));
    DWORD connected = GetTickCount();
    SendGet("/" + TestId() + "/x?silent=1");
    ASSERT_TRUE(sink_.WaitFor(EvTimedOut, 5000));
    DWORD elapsed = GetTickCount() - connected;
    EXPECT_GE(elapsed, 900u);
    EXPECT_LE(elapsed, 4000u);  // generous: the machine may be busy
    EXPECT_GE(sink_.Count(EvTick), 3);
    // Closing the socket ends the outstanding receive, which reports closed.
    ASSERT_TRUE(sink_.WaitFor(EvClosed, 3000));
    EXPECT_EQ(sink_.Count(EvTimedOut), 1);
}

TEST_F(SocketConnectionTest, DeclinedReceiveStopsDataButNotTheDeadline)
{
    SKIP_WITHOUT_SERVERS();
    sink_.dataResult = 1;
    buffer_.resize(100);
    ASSERT_EQ(StartWorker(), 0);
    ASSERT_EQ(connection_.Connect("127.0.0.1", static_cast<uint16_t>(HttpPort()), 800), 0);
    ASSERT_TRUE(sink_.WaitFor(EvConnected, 5000));
    SendGet("/" + TestId() + "/f.bin?size=5000");
    // The first piece is delivered, no receive follows, and the deadline of
    // the last receive still ends the connection.
    ASSERT_TRUE(sink_.WaitFor(EvTimedOut, 5000));
    EXPECT_EQ(sink_.Count(EvData), 1);
    EXPECT_EQ(sink_.Count(EvClosed), 0);
}

TEST_F(SocketConnectionTest, StopDuringTransferEndsTheWorker)
{
    SKIP_WITHOUT_SERVERS();
    ASSERT_EQ(StartWorker(), 0);
    ASSERT_EQ(connection_.Connect("127.0.0.1", static_cast<uint16_t>(HttpPort()), 5000), 0);
    ASSERT_TRUE(sink_.WaitFor(EvConnected, 5000));
    SendGet("/" + TestId() + "/f.bin?size=400000&slow=50");
    ASSERT_TRUE(sink_.WaitFor(EvData, 5000));
    EXPECT_EQ(connection_.StopWorker(), 0);
    size_t count = sink_.events.size();
    ASSERT_GT(count, 0u);
    EXPECT_EQ(sink_.events.back(), EvWorkerExit);
    EXPECT_EQ(sink_.Count(EvClosed), 0);
    // The worker has ended: nothing arrives any more, and a second stop only
    // resets.
    Sleep(300);
    EXPECT_EQ(sink_.events.size(), count);
    EXPECT_EQ(connection_.StopWorker(), 0);
    EXPECT_EQ(sink_.events.size(), count);
}

TEST_F(SocketConnectionTest, UnresolvableHostIsReported)
{
    ASSERT_EQ(StartWorker(), 0);
    EXPECT_EQ(connection_.Connect("", 80, 5000), 2);
    EXPECT_EQ(sink_.Count(EvHostNotFound), 1);
}

TEST_F(SocketConnectionTest, WorkerTicksWithoutASocket)
{
    ASSERT_EQ(StartWorker(50), 0);
    Sleep(400);
    EXPECT_GE(sink_.Count(EvTick), 3);
    EXPECT_EQ(sink_.Count(EvTimedOut), 0);
}

TEST_F(SocketConnectionTest, FailedSetUpLeavesNoSocketBehind)
{
    // Without a worker there is no network event: every Connect fails in
    // its set-up. A socket closed again frees its handle value for the next
    // one, so a leak shows as a fresh socket getting another value.
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(probe, INVALID_SOCKET);
    closesocket(probe);
    for (int i = 0; i < 20; i++) EXPECT_EQ(connection_.Connect("127.0.0.1", 80, 1000), 1);
    EXPECT_EQ(connection_.StopWorker(), 0);
    SOCKET next = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    EXPECT_EQ(next, probe);
    closesocket(next);
}

namespace {

// Stops its own connection from inside the first tick.
class StoppingSink : public ConnectionSink {
public:
    int32_t OnConnectionEvent(int event, const char*, uint32_t, void*) override
    {
        InterlockedIncrement(&events);
        if (event == EvWorkerExit) InterlockedIncrement(&exits);
        if (event == EvTick && InterlockedIncrement(&ticks) == 1) {
            connection->StopWorker();
            SetEvent(stopReturned);
        }
        return 0;
    }

    SocketConnection* connection = nullptr;
    HANDLE stopReturned = nullptr;
    volatile LONG events = 0;
    volatile LONG ticks = 0;
    volatile LONG exits = 0;
};

}  // namespace

TEST_F(SocketConnectionTest, StopWorkerFromInsideAnEventEndsTheWorkerLater)
{
    // On the heap: a worker stuck waiting for itself must be left alone, and
    // a destructor would wait for it forever.
    SocketConnection* owned = new SocketConnection();
    SocketConnection& connection = *owned;
    StoppingSink* stuckSink = new StoppingSink();
    StoppingSink& sink = *stuckSink;
    sink.connection = &connection;
    sink.stopReturned = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ReceiveBuffer buffer = {&buffer_[0], static_cast<uint32_t>(buffer_.size())};
    ASSERT_EQ(connection.StartWorker(&sink, &buffer, 1, 50, nullptr), 0);
    if (WaitForSingleObject(sink.stopReturned, 3000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "StopWorker on the worker did not return";
        return;  // the worker waits for itself forever; leave it
    }
    Sleep(300);
    // The worker ended right after that event: one more event, the exit.
    EXPECT_EQ(sink.exits, 1);
    EXPECT_EQ(sink.ticks, 1);
    EXPECT_EQ(sink.events, 2);
    // The call from this thread only releases what is left, and the
    // connection starts again afterwards.
    EXPECT_EQ(connection.StopWorker(), 0);
    sink.connection = nullptr;
    RecordingSink fresh;
    ASSERT_EQ(connection.StartWorker(&fresh, &buffer, 1, 50, nullptr), 0);
    EXPECT_TRUE(fresh.WaitFor(EvTick, 2000));
    EXPECT_EQ(connection.StopWorker(), 0);
    EXPECT_EQ(fresh.Count(EvWorkerExit), 1);
    delete owned;
    CloseHandle(sink.stopReturned);
    delete stuckSink;
}

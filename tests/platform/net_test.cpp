#include "platform/net.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/http_server.h"

namespace tovren::platform {
namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A listener and one accepted connection to it.
struct Pair {
    std::shared_ptr<NetCancel> serverStop = std::make_shared<NetCancel>();
    std::shared_ptr<NetCancel> clientStop = std::make_shared<NetCancel>();
    std::optional<TcpListener> listener = TcpListener::listenLoopback(0, serverStop);
    std::optional<TcpConnection> client;
    std::optional<TcpConnection> server;

    Pair() {
        client = TcpConnection::connect("127.0.0.1", listener->port(), 2000, clientStop);
        server = listener->accept();
    }
};

TEST(NetTest, BytesBothWaysAndTheClose) {
    Pair pair;
    ASSERT_TRUE(pair.client && pair.server);
    EXPECT_EQ(pair.client->sendAll("hello", 1000), NetResult::Ok);
    char buffer[16];
    size_t got = 0;
    std::string received;
    while (received.size() < 5) {
        ASSERT_EQ(pair.server->receive(buffer, sizeof buffer, 1000, &got), NetResult::Ok);
        received.append(buffer, got);
    }
    EXPECT_EQ(received, "hello");
    pair.server->close();
    EXPECT_EQ(pair.client->receive(buffer, sizeof buffer, 1000, &got), NetResult::Closed);
    EXPECT_EQ(got, 0u);
}

TEST(NetTest, ReceiveTimesOut) {
    Pair pair;
    ASSERT_TRUE(pair.client && pair.server);
    char buffer[16];
    size_t got = 0;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(pair.client->receive(buffer, sizeof buffer, 100, &got), NetResult::TimedOut);
    EXPECT_GE(msSince(start), 100);
    EXPECT_LT(msSince(start), 1000);
}

TEST(NetTest, AnotherThreadCancelsABlockedReceive) {
    Pair pair;
    ASSERT_TRUE(pair.client && pair.server);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pair.clientStop->cancel();
    });
    char buffer[16];
    size_t got = 0;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(pair.client->receive(buffer, sizeof buffer, 20000, &got), NetResult::Cancelled);
    EXPECT_LT(msSince(start), 1000);
    stopper.join();
    // Every later wait ends at once too.
    EXPECT_EQ(pair.client->sendAll("x", 1000), NetResult::Cancelled);
    EXPECT_FALSE(pair.clientStop->sleep(1000));
}

TEST(NetTest, ACancelledListenerStopsWaiting) {
    auto stop = std::make_shared<NetCancel>();
    std::optional<TcpListener> listener = TcpListener::listenLoopback(0, stop);
    ASSERT_TRUE(listener);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stop->cancel();
    });
    NetResult why = NetResult::Ok;
    EXPECT_FALSE(listener->accept(&why));
    EXPECT_EQ(why, NetResult::Cancelled);
    stopper.join();
}

TEST(NetTest, NobodyListening) {
    NetResult why = NetResult::Ok;
    auto stop = std::make_shared<NetCancel>();
    EXPECT_FALSE(TcpConnection::connect("127.0.0.1", testing::unusedPort(), 2000, stop, &why));
    EXPECT_EQ(why, NetResult::Failed);
    stop->cancel();
    EXPECT_FALSE(TcpConnection::connect("127.0.0.1", 80, 2000, stop, &why));
    EXPECT_EQ(why, NetResult::Cancelled);
}

TEST(NetTest, SleepLastsItsTimeUnlessCancelled) {
    NetCancel stop;
    const Clock::time_point start = Clock::now();
    EXPECT_TRUE(stop.sleep(60));
    EXPECT_GE(msSince(start), 60);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stop.cancel();
    });
    const Clock::time_point second = Clock::now();
    EXPECT_FALSE(stop.sleep(20000));
    EXPECT_LT(msSince(second), 1000);
    stopper.join();
}

}  // namespace
}  // namespace tovren::platform

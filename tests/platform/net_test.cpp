#include "platform/net.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "platform/net_resolve.h"
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

// A name server that has gone quiet must not hold up a stop: the wait for the name ends at the
// cancel, and what the resolution finds afterwards is released on its own thread.
TEST(NetTest, ACancelEndsTheWaitForAName) {
    auto cancel = std::make_shared<NetCancel>();
    auto answer = std::make_shared<std::promise<void>>();
    std::shared_future<void> answered = answer->get_future().share();
    auto released = std::make_shared<std::promise<void>>();
    std::future<void> wasReleased = released->get_future();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        cancel->cancel();
    });
    NetResult why = NetResult::Ok;
    int* found = detail::resolveUnlessCancelled<int*>(
        [answered] {
            answered.wait_for(std::chrono::seconds(5));  // the answer comes after the cancel
            return new int(1);
        },
        [released](int* value) {
            delete value;
            released->set_value();
        },
        *cancel, why);
    stopper.join();
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(why, NetResult::Cancelled);
    delete found;
    answer->set_value();
    EXPECT_EQ(wasReleased.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

TEST(NetTest, ANameFoundInTimeIsTheCallersToRelease) {
    NetCancel cancel;
    NetResult why = NetResult::Ok;
    bool releasedThere = false;
    int* found = detail::resolveUnlessCancelled<int*>([] { return new int(7); },
                                                      [&](int* value) {
                                                          releasedThere = true;
                                                          delete value;
                                                      },
                                                      cancel, why);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(*found, 7);
    EXPECT_EQ(why, NetResult::Ok);
    EXPECT_FALSE(releasedThere);
    delete found;
}

}  // namespace
}  // namespace tovren::platform

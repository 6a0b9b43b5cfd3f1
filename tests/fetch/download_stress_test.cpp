// receivedBytes polled every millisecond from another thread while tasks start, end and are
// destroyed, a thousand times. Run under ThreadSanitizer (native-tsan) as well.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "fetch/download.h"
#include "platform/files.h"
#include "support/http_server.h"
#include "support/scratch.h"

namespace tovren::fetch {
namespace {

using testing::HttpReply;
using testing::HttpRequest;

enum class Round { Ends, TrickledEnds, DestroyedAtOnce, DestroyedInTheBody };

TEST(DownloadStressTest, PollingWhileTasksStartEndAndAreDestroyed) {
    constexpr int kRounds = 1000;
    const std::string body = testing::patternBytes(30000);
    std::atomic<Round> round{Round::Ends};
    testing::HttpServer server([&](const HttpRequest& r) {
        HttpReply reply = testing::fileReply(body, r);
        if (round == Round::TrickledEnds) {
            reply.trickleBytes = 10000;
            reply.trickleDelayMs = 1;
        } else if (round == Round::DestroyedInTheBody) {
            reply.stallAfter = 15000;
            reply.stallMs = 300;
        }
        return reply;
    });
    testing::ScratchFolder folder;
    const std::string target = folder / "x.bin";

    Download download(DownloadSettings{2, 1});
    std::atomic<bool> polling{true};
    std::atomic<int> polls{0}, outOfRange{0};
    std::thread poller([&] {
        while (polling) {
            int32_t n = download.receivedBytes();
            if (n < 0 || n > 30000) ++outOfRange;
            ++polls;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    // The poller ends however the rounds end.
    struct StopPolling {
        std::atomic<bool>& polling;
        std::thread& poller;
        ~StopPolling() {
            polling = false;
            poller.join();
        }
    } stopPolling{polling, poller};
    // The service's lines of the current round, shown when a round fails.
    auto log = std::make_shared<std::pair<std::mutex, std::string>>();

    int completed = 0, stopped = 0;
    for (int i = 0; i < kRounds; ++i) {
        round = static_cast<Round>(i % 4);
        TaskParam p;
        p.url = server.base() + "/Kavrel/x.bin";
        p.localPath = target;
        p.receiveTimeout = 2000;
        p.messageRoutine = [log](std::string_view line) {
            std::lock_guard guard(log->first);
            log->second.append(line).append("\n");
        };
        {
            std::lock_guard guard(log->first);
            log->second.clear();
        }
        ASSERT_TRUE(download.addTask(p)) << "round " << i;
        if (round == Round::Ends || round == Round::TrickledEnds) {
            while (!download.waitUntilIdle(1)) ASSERT_GE(download.receivedBytes(), 0);
        } else {
            if (round == Round::DestroyedInTheBody)
                while (download.isBusy() && download.receivedBytes() == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            download.destroy();
        }
        ASSERT_FALSE(download.isBusy()) << "round " << i;
        ASSERT_EQ(download.receivedBytes(), 0) << "round " << i;
        std::optional<TaskOutcome> outcome = download.lastOutcome();
        ASSERT_TRUE(outcome);
        if (outcome->end == TaskEnd::Completed) {
            ++completed;
            ASSERT_EQ(outcome->path, target);
            ASSERT_TRUE(platform::readWholeFile(target) == body) << "round " << i;
            ASSERT_TRUE(platform::deleteFile(target));
        } else {
            std::lock_guard guard(log->first);
            ASSERT_EQ(outcome->end, TaskEnd::Stopped) << "round " << i << ": " << toString(outcome->end) << "\n"
                                                      << log->second;
            ++stopped;
        }
        ASSERT_TRUE(std::filesystem::is_empty(testing::fsPath(folder.path()))) << "round " << i;
    }
    EXPECT_EQ(outOfRange, 0);
    EXPECT_GE(completed, kRounds / 2);
    EXPECT_GE(stopped, kRounds / 4);
    EXPECT_GT(polls, 100);
}

}  // namespace
}  // namespace tovren::fetch

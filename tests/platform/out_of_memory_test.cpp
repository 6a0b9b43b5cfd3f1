// Memory that runs out ends the program through its fatal fault: from operator new, from a
// std::bad_alloc that nothing catches, and from one that a download thread would have swallowed.
#include "platform/out_of_memory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <thread>

#include "fetch/download.h"
#include "support/fail_allocation.h"

namespace tovren::platform {
namespace {

#ifdef _WIN32
constexpr int kFaultExitCode = -1;
#else
constexpr int kFaultExitCode = 255;  // -1 as POSIX reports it
#endif

void printFault(void*) {
    std::fputs("fatal fault\n", stderr);
}

using tovren::testing::failAnAllocation;

TEST(OutOfMemoryDeathTest, OperatorNewThatFailsEndsThroughTheFatalFault) {
    EXPECT_EXIT(
        {
            routeOutOfMemory();
            setOutOfMemoryRoutine(printFault, nullptr);
            failAnAllocation();
            std::fputs("went on\n", stderr);
        },
        ::testing::ExitedWithCode(kFaultExitCode), "^fatal fault\n$");
}

TEST(OutOfMemoryDeathTest, ABadAllocNobodyCatchesEndsThroughTheFatalFaultNotTerminate) {
    EXPECT_EXIT(
        {
            routeOutOfMemory();
            setOutOfMemoryRoutine(printFault, nullptr);
            std::thread([] { throw std::bad_alloc(); }).join();
            std::fputs("went on\n", stderr);
        },
        ::testing::ExitedWithCode(kFaultExitCode), "^fatal fault\n$");
}

TEST(OutOfMemoryDeathTest, TwoThreadsOutOfMemoryAtOnceShowOneFault) {
    EXPECT_EXIT(
        {
            routeOutOfMemory();
            setOutOfMemoryRoutine(
                [](void*) {
                    std::fputs("fatal fault\n", stderr);
                    // The other thread arrives while the message is up.
                    std::this_thread::sleep_for(std::chrono::milliseconds(300));
                },
                nullptr);
            std::thread a([] { outOfMemory(); });
            std::thread b([] { outOfMemory(); });
            a.join();
            b.join();
        },
        ::testing::ExitedWithCode(kFaultExitCode), "^fatal fault\n$");
}

TEST(OutOfMemoryDeathTest, InADownloadThreadItIsNoFailedDownloadButTheFatalFault) {
    EXPECT_EXIT(
        {
            routeOutOfMemory();
            setOutOfMemoryRoutine(printFault, nullptr);
            fetch::Download download;
            fetch::TaskParam param;
            // Thrown at the task's first progress line, before any connection is tried.
            param.messageRoutine = [](std::string_view) { throw std::bad_alloc(); };
            param.url = "http://127.0.0.1:9/Kavrel/config.txt";
            param.localPath = "nowhere\\config.ini";
            if (!download.addTask(param)) std::fputs("not added\n", stderr);
            std::this_thread::sleep_for(std::chrono::seconds(20));
            std::fputs("the task ended quietly\n", stderr);
        },
        ::testing::ExitedWithCode(kFaultExitCode), "^fatal fault\n$");
}

TEST(OutOfMemoryDeathTest, WithoutAWindowSystemItStillEndsWithMinusOne) {
    EXPECT_EXIT(
        {
            routeOutOfMemory();
            failAnAllocation();
        },
        ::testing::ExitedWithCode(kFaultExitCode), "^out of memory\n$");
}

TEST(OutOfMemoryDeathTest, OtherExceptionsThatEscapeStillTerminate) {
    // Only memory is the fatal fault; any other escape is a defect and aborts as before.
    EXPECT_EXIT(
        {
            routeOutOfMemory();
            setOutOfMemoryRoutine(printFault, nullptr);
            std::thread([] { throw std::runtime_error("defect"); }).join();
        },
#ifdef _WIN32
        ::testing::ExitedWithCode(3),  // abort()
#else
        ::testing::KilledBySignal(SIGABRT),
#endif
        "terminate called after throwing an instance of 'std::runtime_error'");
}

}  // namespace
}  // namespace tovren::platform

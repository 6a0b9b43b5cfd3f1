// The shell on Windows (under Wine): "open" reaches the application the system associates
// with the file; a missing one comes back without a word.
#include "platform/shell.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/scratch.h"

namespace tovren::platform {
namespace {

bool waitForFile(const std::filesystem::path& p, int ms) {
    for (int waited = 0; waited < ms; waited += 50) {
        if (std::filesystem::exists(p)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::filesystem::exists(p);
}

TEST(ShellTest, OpenRunsTheAssociatedApplicationOnThePath) {
    testing::ScratchFolder scratch;
    // A command script leaves a mark beside itself when the shell runs it.
    scratch.writeFile("打开 me.cmd", "@echo off\r\necho opened> \"%~dp0mark.txt\"\r\n");
    shellOpen("open", scratch / "打开 me.cmd");
    EXPECT_TRUE(waitForFile(testing::fsPath(scratch / "mark.txt"), 30000));
}

TEST(ShellTest, AMissingDocumentOpensNothingAndTheCallReturns) {
    testing::ScratchFolder scratch;
    scratch.writeFile("x.cmd", "@echo off\r\necho opened> \"%~dp0mark.txt\"\r\n");
    shellOpen("open", scratch / "missing.cmd");
    EXPECT_FALSE(waitForFile(testing::fsPath(scratch / "mark.txt"), 2000));
}

}  // namespace
}  // namespace tovren::platform

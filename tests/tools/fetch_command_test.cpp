// The fetch command in process, against the fault-injecting server: exit codes, the path on
// standard output, the options. The black-box cases that need no server are in CMakeLists.txt.
#include "fetch_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "platform/files.h"
#include "support/http_server.h"
#include "support/scratch.h"
#include "captured_streams.h"

namespace tovren::tool {
namespace {

using testing::HttpReply;
using testing::HttpRequest;
using testing::HttpServer;

class FetchCommandTest : public ::testing::Test {
protected:
    int run(const Arguments& args) {
        usage_.clear();
        return runFetchTask(args, streams_.out(), streams_.err(), usage_);
    }
    // The target folder, apart from the folder that holds the output streams.
    std::string target() const { return targets_.path() + "\\"; }
    bool targetIsEmpty() const { return std::filesystem::is_empty(testing::fsPath(targets_.path())); }

    testing::ScratchFolder streamsFolder_;
    testing::ScratchFolder targets_;
    testing::CapturedStreams streams_{streamsFolder_};
    std::string usage_;
};

TEST_F(FetchCommandTest, ACompleteFilePrintsItsPath) {
    const std::string body = testing::patternBytes(70000);
    HttpServer server([&](const HttpRequest& r) { return testing::fileReply(body, r); });
    EXPECT_EQ(run({server.base() + "/Kavrel/Excel-3.zip", target()}), 0);
    const std::string saved = targets_.path() + "\\Excel-3.zip";
    EXPECT_EQ(streams_.outText(), platform::nativePath(saved) + "\n");
    EXPECT_TRUE(platform::readWholeFile(saved) == body);
    EXPECT_NE(streams_.errText().find("saved as"), std::string::npos) << streams_.errText();
}

TEST_F(FetchCommandTest, ATaskThatEndsWithoutAFileExitsOne) {
    HttpServer server([](const HttpRequest&) { return testing::statusReply(404); });
    EXPECT_EQ(run({server.base() + "/Kavrel/Excel-3.zip", target()}), 1);
    EXPECT_EQ(streams_.outText(), "");
    EXPECT_TRUE(targetIsEmpty());
    EXPECT_NE(streams_.errText().find("status 404"), std::string::npos) << streams_.errText();
}

TEST_F(FetchCommandTest, ARefusedTaskExitsTwo) {
    EXPECT_EQ(run({"https://127.0.0.1/Kavrel/Excel-3.zip", target()}), 2);
    EXPECT_EQ(run({"http://127.0.0.1", target()}), 2);
    EXPECT_EQ(streams_.outText(), "");
}

TEST_F(FetchCommandTest, RetryOptionsAreUsed) {
    HttpServer server([](const HttpRequest& r) {
        HttpReply reply = testing::fileReply(testing::patternBytes(1000), r);
        reply.dropAfter = 10;
        return reply;
    });
    EXPECT_EQ(run({"--retries", "2", "--retry-wait-ms", "5", server.base() + "/x.zip", target()}), 1);
    ASSERT_EQ(server.requestCount(), 3u);
    EXPECT_EQ(server.requests()[1].rangeFrom, 10);
    EXPECT_EQ(server.requests()[2].rangeFrom, 20);
    EXPECT_TRUE(targetIsEmpty());
}

// A server that announces a length, sends less, closes and answers every resume with the whole
// file cut at the same place: the default 999 retries no longer go on for 83 minutes.
TEST_F(FetchCommandTest, RetriesThatBringNothingNewEndWithoutAFile) {
    HttpServer server([](const HttpRequest&) {
        HttpReply reply{testing::head(200, {"Content-Length: 100000"}), testing::patternBytes(100000)};
        reply.dropAfter = 10244;
        return reply;
    });
    EXPECT_EQ(run({"--retry-wait-ms", "5", server.base() + "/x.zip", target()}), 1);
    EXPECT_EQ(server.requestCount(), 4u) << "the first answer and three resumes that brought nothing new";
    EXPECT_EQ(streams_.outText(), "");
    EXPECT_TRUE(targetIsEmpty());
    EXPECT_NE(streams_.errText().find("the retries bring nothing new"), std::string::npos) << streams_.errText();
}

TEST_F(FetchCommandTest, TheReceiveTimeOutIsUsed) {
    HttpServer server([](const HttpRequest& r) {
        HttpReply reply = testing::fileReply("abc", r);
        reply.stallBeforeHead = true;
        reply.stallMs = 10000;
        return reply;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run({"--receive-timeout-ms", "100", "--retries", "0", server.base() + "/x.zip", target()}), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_NE(streams_.errText().find("timed out"), std::string::npos) << streams_.errText();
}

TEST_F(FetchCommandTest, StopAfterDestroysTheDownload) {
    HttpServer server([](const HttpRequest& r) {
        HttpReply reply = testing::fileReply(testing::patternBytes(50000), r);
        reply.stallAfter = 1000;
        reply.stallMs = 10000;
        return reply;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run({"--stop-after-ms", "150", server.base() + "/x.zip", target()}), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(streams_.outText(), "");
    EXPECT_TRUE(targetIsEmpty());
    EXPECT_NE(streams_.errText().find("stopped"), std::string::npos) << streams_.errText();
}

TEST_F(FetchCommandTest, UsageErrors) {
    struct Case {
        Arguments args;
        const char* message;
        const char* why;
    } const cases[] = {
        {{}, "a URL and a LOCALPATH", "nothing given"},
        {{"http://h/x"}, "a URL and a LOCALPATH", "no LOCALPATH"},
        {{"http://h/x", "a", "b"}, "a URL and a LOCALPATH", "one path too many"},
        {{"--retries", "http://h/x", "a"}, "--retries takes a whole number", "a value that is no number"},
        {{"http://h/x", "a", "--retries"}, "--retries takes a whole number", "no value"},
        {{"--retries", "-1", "http://h/x", "a"}, "at least 0", "a negative count"},
        {{"--receive-timeout-ms", "0", "http://h/x", "a"}, "at least 1", "a time-out of 0"},
        {{"--stop-after-ms", "5x", "http://h/x", "a"}, "--stop-after-ms takes", "trailing letters"},
        {{"--speed", "5", "http://h/x", "a"}, "unknown fetch option '--speed'", "an unknown option"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(run(c.args), kUsageError);
        EXPECT_NE(usage_.find(c.message), std::string::npos) << usage_;
    }
    EXPECT_EQ(streams_.outText(), "");
}

}  // namespace
}  // namespace tovren::tool

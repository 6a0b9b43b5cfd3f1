// The download service against the project's own fault-injecting server on 127.0.0.1.
#include "fetch/download.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include <windows.h>

#include "platform/wide.h"
#endif
#include "fetch/temporary_files.h"
#include "platform/files.h"
#include "support/http_server.h"
#include "support/scratch.h"

namespace tovren::fetch {
namespace {

#ifdef _WIN32
bool isHidden(const std::string& path) {
    DWORD a = GetFileAttributesW(platform::widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_HIDDEN);
}
#endif

using testing::HttpReply;
using testing::HttpRequest;
using testing::HttpServer;
using testing::fileReply;
using testing::head;
using testing::patternBytes;
using testing::statusReply;
using Clock = std::chrono::steady_clock;

const std::string kBody = patternBytes(50000);
constexpr const char* kPath = "/Kavrel/Word-1.zip";

// The request bytes the service must send, written out here on their own.
std::string expectedRequest(const std::string& path, const std::string& host, const std::string& referer,
                            std::optional<int64_t> rangeFrom = std::nullopt) {
    std::string bytes = "GET " + path + " HTTP/1.1\r\nHost: " + host +
                        "\r\nAccept: */*\r\nReferer: " + referer +
                        "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"
                        "Pragma: no-cache\r\nCache-Control: no-cache\r\n";
    if (rangeFrom) bytes += "Range: bytes=" + std::to_string(*rangeFrom) + "-\r\n";
    return bytes + "Connection: close\r\n\r\n";
}

std::string hostOf(const HttpServer& server) { return "127.0.0.1:" + std::to_string(server.port()); }

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Every file in a folder, by name, with its bytes.
std::map<std::string, std::string> filesIn(const testing::ScratchFolder& folder) {
    std::map<std::string, std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(testing::fsPath(folder.path()))) {
        std::u8string name = entry.path().filename().u8string();
        std::string utf8(name.begin(), name.end());
        found[utf8] = folder.readFile(utf8);
    }
    return found;
}

class DownloadTest : public ::testing::Test {
protected:
    // The folder target, as the client gives it: ending in a backslash.
    std::string folderTarget() const { return scratch_.path() + "\\"; }

    static TaskParam param(const std::string& url, const std::string& localPath) {
        TaskParam p;
        p.url = url;
        p.localPath = localPath;
        p.connectTimeout = 2000;
        p.sendTimeout = 2000;
        p.receiveTimeout = 2000;
        return p;
    }

    // Adds the task and waits for its end.
    static TaskOutcome runToEnd(Download& download, const TaskParam& p) {
        EXPECT_TRUE(download.addTask(p));
        EXPECT_TRUE(download.waitUntilIdle(20000));
        std::optional<TaskOutcome> outcome = download.lastOutcome();
        EXPECT_TRUE(outcome);
        return outcome.value_or(TaskOutcome{TaskEnd::Failed, {}});
    }

    std::map<std::string, std::string> files() const { return filesIn(scratch_); }

    std::map<std::string, std::string> onlyFile(const std::string& name, const std::string& bytes) const {
        return {{name, bytes}};
    }

    // The Download takes and completes a new task (into a folder of its own).
    void expectTakesANewTask(Download& download) {
        testing::ScratchFolder other;
        HttpServer good([](const HttpRequest& r) { return fileReply("fresh", r); });
        TaskOutcome outcome = runToEnd(download, param(good.base() + "/x/fresh.txt", other.path() + "\\"));
        EXPECT_EQ(outcome.end, TaskEnd::Completed);
        EXPECT_EQ(other.readFile("fresh.txt"), "fresh");
    }

    testing::ScratchFolder scratch_;
};

// ---- One table for the answers and faults: what stays and what was asked. ----

using ReplyFunction = std::function<HttpReply(const HttpRequest&, const std::string& base)>;

struct Asked {
    std::string path;
    std::optional<int64_t> rangeFrom = std::nullopt;
};

struct FaultCase {
    const char* why;
    ReplyFunction reply;
    TaskEnd end;
    const char* savedAs;  // nullptr: no file at all stays
    std::string content;
    std::vector<Asked> asked;
    int32_t retries = 3;
    int32_t receiveTimeout = 2000;
    std::string urlPath = kPath;
};

HttpReply dropAt(size_t offset, const HttpRequest& r) {
    HttpReply reply = fileReply(kBody, r);
    reply.dropAfter = offset;
    return reply;
}

// The first request is answered by `first`, every later one with the file (honouring Range).
ReplyFunction firstThen(std::function<HttpReply(const HttpRequest&)> first) {
    return [first](const HttpRequest& r, const std::string&) { return r.index == 0 ? first(r) : fileReply(kBody, r); };
}

// The first request drops after `offset` body bytes, the second is answered by `second`.
ReplyFunction dropThen(size_t offset, std::function<HttpReply(const HttpRequest&)> second) {
    return [offset, second](const HttpRequest& r, const std::string&) {
        return r.index == 0 ? dropAt(offset, r) : second(r);
    };
}

ReplyFunction always(std::function<HttpReply(const HttpRequest&)> reply) {
    return [reply](const HttpRequest& r, const std::string&) { return reply(r); };
}

std::vector<Asked> times(int count, Asked asked) { return std::vector<Asked>(static_cast<size_t>(count), asked); }

HttpReply withDisposition(const std::string& value, const HttpRequest& r) {
    return fileReply(kBody, r, {"Content-Disposition: " + value});
}

// A head of exactly `size` bytes, padded with a header line.
std::string headOfSize(size_t size) {
    std::string start = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kBody.size()) + "\r\nX-Pad: ";
    std::string end = "\r\n\r\n";
    return start + std::string(size - start.size() - end.size(), 'p') + end;
}

TEST_F(DownloadTest, AnswersAndFaults) {
    const std::string stretched = kBody + std::string(1000, 'x');
    const FaultCase cases[] = {
        {"a complete answer", always([](auto& r) { return fileReply(kBody, r); }), TaskEnd::Completed,
         "Word-1.zip", kBody, {{kPath}}},
        {"404 ends at once without a file", always([](auto&) { return statusReply(404); }), TaskEnd::Refused,
         nullptr, "", {{kPath}}},
        {"500 with a body ends without a file",
         always([](auto&) { return HttpReply{head(500, {"Content-Length: 5"}), "oops!"}; }), TaskEnd::Refused,
         nullptr, "", {{kPath}}},
        {"206 to the first request is refused",
         always([](auto&) {
             return HttpReply{head(206, {"Content-Range: bytes 0-49999/50000", "Content-Length: 50000"}), kBody};
         }),
         TaskEnd::Refused, nullptr, "", {{kPath}}},
        {"200 without a length", always([](auto&) { return HttpReply{head(200), kBody}; }), TaskEnd::Refused, nullptr,
         "", {{kPath}}},
        {"a negative length", always([](auto&) { return HttpReply{head(200, {"Content-Length: -5"}), kBody}; }),
         TaskEnd::Refused, nullptr, "", {{kPath}}},
        {"a length above 2^31-1",
         always([](auto&) { return HttpReply{head(200, {"Content-Length: 2147483648"}), kBody}; }),
         TaskEnd::Refused, nullptr, "", {{kPath}}},
        {"two lengths that disagree",
         always([](auto&) { return HttpReply{head(200, {"Content-Length: 50000", "Content-Length: 40000"}), kBody}; }),
         TaskEnd::Refused, nullptr, "", {{kPath}}},
        {"the lower-case length spelling is read",
         always([](auto&) { return HttpReply{head(200, {"Content-length: 50000"}), kBody}; }), TaskEnd::Completed,
         "Word-1.zip", kBody, {{kPath}}},
        {"an upper-case length spelling is not",
         always([](auto&) { return HttpReply{head(200, {"CONTENT-LENGTH: 50000"}), kBody}; }), TaskEnd::Refused,
         nullptr, "", {{kPath}}},
        {"bytes beyond the announced length are dropped",
         always([&](auto&) { return HttpReply{head(200, {"Content-Length: 50000"}), stretched}; }),
         TaskEnd::Completed, "Word-1.zip", kBody, {{kPath}}},
        {"an empty file", always([](auto& r) { return fileReply("", r); }), TaskEnd::Completed, "Word-1.zip", "",
         {{kPath}}},
        {"a head of 4097 bytes is read", always([](auto&) { return HttpReply{headOfSize(4097), kBody}; }),
         TaskEnd::Completed, "Word-1.zip", kBody, {{kPath}}},
        {"a head of 4098 bytes is refused", always([](auto&) { return HttpReply{headOfSize(4098), kBody}; }),
         TaskEnd::Refused, nullptr, "", {{kPath}}},
        {"not HTTP at all", always([](auto&) { return HttpReply{"SSH-2.0-OpenSSH_9.2\r\n\r\n", ""}; }),
         TaskEnd::Refused, nullptr, "", {{kPath}}},
        {"a redirect loop ends after ten redirects",
         always([](auto&) { return statusReply(302, {std::string("Location: ") + kPath}); }), TaskEnd::Refused,
         nullptr, "", times(11, {kPath})},
        {"ten redirects in a row are followed",
         always([](auto& r) {
             return r.index < 10 ? statusReply(302, {"Location: r" + std::to_string(r.index + 1) + ".zip"})
                                 : fileReply(kBody, r);
         }),
         TaskEnd::Completed, "r10.zip", kBody,
         {{kPath}, {"/Kavrel/r1.zip"}, {"/Kavrel/r2.zip"}, {"/Kavrel/r3.zip"}, {"/Kavrel/r4.zip"},
          {"/Kavrel/r5.zip"}, {"/Kavrel/r6.zip"}, {"/Kavrel/r7.zip"}, {"/Kavrel/r8.zip"}, {"/Kavrel/r9.zip"},
          {"/Kavrel/r10.zip"}}},
        {"a relative redirect is taken from the current folder",
         firstThen([](auto&) { return statusReply(301, {"Location: sub/Excel 3.zip"}); }), TaskEnd::Completed,
         "Excel 3.zip", kBody, {{kPath}, {"/Kavrel/sub/Excel%203.zip"}}},
        {"an absolute redirect replaces the address",
         [](const HttpRequest& r, const std::string& base) {
             return r.index == 0 ? statusReply(302, {"Location: " + base + "/Other/Excel-3.zip"}) : fileReply(kBody, r);
         },
         TaskEnd::Completed, "Excel-3.zip", kBody, {{kPath}, {"/Other/Excel-3.zip"}}},
        {"a redirect from the root replaces the path",
         firstThen([](auto&) { return statusReply(302, {"Location: /Root/PowerPoint-2.zip"}); }),
         TaskEnd::Completed, "PowerPoint-2.zip", kBody, {{kPath}, {"/Root/PowerPoint-2.zip"}}},
        {"a redirect to ftp ends the task",
         always([](auto&) { return statusReply(302, {"Location: ftp://127.0.0.1/Word-1.zip"}); }),
         TaskEnd::Refused, nullptr, "", {{kPath}}},
        {"a redirect without Location ends the task", always([](auto&) { return statusReply(301); }),
         TaskEnd::Refused, nullptr, "", {{kPath}}},
        {"a drop before the first body byte resumes from 0", dropThen(0, [](auto& r) { return fileReply(kBody, r); }),
         TaskEnd::Completed, "Word-1.zip", kBody, {{kPath}, {kPath, 0}}},
        {"a drop after one byte", dropThen(1, [](auto& r) { return fileReply(kBody, r); }), TaskEnd::Completed,
         "Word-1.zip", kBody, {{kPath}, {kPath, 1}}},
        {"a drop at a block boundary", dropThen(20480, [](auto& r) { return fileReply(kBody, r); }),
         TaskEnd::Completed, "Word-1.zip", kBody, {{kPath}, {kPath, 20480}}},
        {"a drop one byte before the end", dropThen(49999, [](auto& r) { return fileReply(kBody, r); }),
         TaskEnd::Completed, "Word-1.zip", kBody, {{kPath}, {kPath, 49999}}},
        {"two drops, two resumes",
         always([](auto& r) {
             HttpReply reply = fileReply(kBody, r);
             if (r.index == 0) reply.dropAfter = 1000;
             if (r.index == 1) reply.dropAfter = 5000;
             return reply;
         }),
         TaskEnd::Completed, "Word-1.zip", kBody, {{kPath}, {kPath, 1000}, {kPath, 6000}}},
        {"a drop inside the head repeats the plain request",
         firstThen([](auto&) { return HttpReply{"HTTP/1.1 200 OK\r\nContent-Len", ""}; }), TaskEnd::Completed,
         "Word-1.zip", kBody, {{kPath}, {kPath}}},
        {"a close without any answer is retried until the retries are used up",
         always([](auto&) { return HttpReply{}; }), TaskEnd::RetriesUsedUp, nullptr, "", times(3, {kPath}), 2},
        {"a 200 to the resume with the same length is taken whole",
         dropThen(10000, [](auto&) { return HttpReply{head(200, {"Content-Length: 50000"}), kBody}; }),
         TaskEnd::Completed, "Word-1.zip", kBody, {{kPath}, {kPath, 10000}}},
        {"a 200 to the resume with another length ends the task",
         dropThen(10000, [](auto&) { return HttpReply{head(200, {"Content-Length: 40000"}), kBody.substr(0, 40000)}; }),
         TaskEnd::Refused, nullptr, "", {{kPath}, {kPath, 10000}}},
        {"a 206 that does not start at the asked offset is never appended",
         dropThen(10000,
                  [](auto&) {
                      return HttpReply{head(206, {"Content-Range: bytes 5000-49999/50000"}), kBody.substr(5000)};
                  }),
         TaskEnd::Refused, nullptr, "", {{kPath}, {kPath, 10000}}},
        {"a 206 for another file length",
         dropThen(10000,
                  [](auto&) {
                      return HttpReply{head(206, {"Content-Range: bytes 10000-59999/60000", "Content-Length: 50000"}),
                                       kBody};
                  }),
         TaskEnd::Refused, nullptr, "", {{kPath}, {kPath, 10000}}},
        {"a 206 without Content-Range",
         dropThen(10000, [](auto&) { return HttpReply{head(206, {"Content-Length: 40000"}), kBody.substr(10000)}; }),
         TaskEnd::Refused, nullptr, "", {{kPath}, {kPath, 10000}}},
        {"a 404 to the resume", dropThen(10000, [](auto&) { return statusReply(404); }), TaskEnd::Refused, nullptr,
         "", {{kPath}, {kPath, 10000}}},
        {"a Range refused with 416", dropThen(10000, [](auto&) { return statusReply(416); }), TaskEnd::Refused,
         nullptr, "", {{kPath}, {kPath, 10000}}},
        {"a length larger than the body: the resume finds no more and the task ends",
         always([](auto& r) {
             return r.index == 0 ? HttpReply{head(200, {"Content-Length: 60000"}), kBody} : fileReply(kBody, r);
         }),
         TaskEnd::Refused, nullptr, "", {{kPath}, {kPath, 50000}}},
        {"a stall before the head outlasts the time-out; no retries",
         always([](auto& r) {
             HttpReply reply = fileReply(kBody, r);
             reply.stallBeforeHead = true;
             reply.stallMs = 5000;
             return reply;
         }),
         TaskEnd::RetriesUsedUp, nullptr, "", {{kPath}}, 0, 200},
        {"a stall inside the body is resumed",
         firstThen([](auto& r) {
             HttpReply reply = fileReply(kBody, r);
             reply.stallAfter = 30000;
             reply.stallMs = 5000;
             return reply;
         }),
         TaskEnd::Completed, "Word-1.zip", kBody, {{kPath}, {kPath, 30000}}, 3, 200},
        {"a slow trickle under the time-out arrives whole",
         always([](auto& r) {
             HttpReply reply = fileReply(kBody, r);
             reply.trickleBytes = 7000;
             reply.trickleDelayMs = 20;
             return reply;
         }),
         TaskEnd::Completed, "Word-1.zip", kBody, {{kPath}}, 0, 500},
        // Retries that bring nothing new end the task; retries that get no answer do not count.
        {"a server that ignores Range and cuts at the same place ends after three answers with nothing new",
         always([](auto&) {
             HttpReply reply{head(200, {"Content-Length: 50000"}), kBody};
             reply.dropAfter = 10000;
             return reply;
         }),
         TaskEnd::NoProgress, nullptr, "", {{kPath}, {kPath, 10000}, {kPath, 10000}, {kPath, 10000}}, 999},
        {"the same short piece again: a resume that brings no byte before the close",
         dropThen(10000,
                  [](auto& r) {
                      HttpReply reply = fileReply(kBody, r);
                      reply.dropAfter = 0;
                      return reply;
                  }),
         TaskEnd::NoProgress, nullptr, "", {{kPath}, {kPath, 10000}, {kPath, 10000}, {kPath, 10000}}, 999},
        {"an answer whose body never comes counts as nothing new, from the first request on",
         always([](auto& r) {
             HttpReply reply = fileReply(kBody, r);
             reply.dropAfter = 0;
             return reply;
         }),
         TaskEnd::NoProgress, nullptr, "", {{kPath}, {kPath, 0}, {kPath, 0}}, 999},
        {"a new byte starts the count again: two empty resumes, one with 1000 new bytes, two empty, then all",
         always([](auto& r) {
             HttpReply reply = fileReply(kBody, r);
             if (r.index == 0 || r.index == 3) reply.dropAfter = 1000;
             if (r.index == 1 || r.index == 2 || r.index == 4 || r.index == 5) reply.dropAfter = 0;
             return reply;
         }),
         TaskEnd::Completed, "Word-1.zip", kBody,
         {{kPath}, {kPath, 1000}, {kPath, 1000}, {kPath, 1000}, {kPath, 2000}, {kPath, 2000}, {kPath, 2000}}, 999},
        {"the whole file again, cut further each time, until it is all there",
         always([](auto& r) {
             HttpReply reply{head(200, {"Content-Length: 50000"}), kBody};
             reply.dropAfter = static_cast<size_t>(12000 * (r.index + 1));
             return reply;
         }),
         TaskEnd::Completed, "Word-1.zip", kBody,
         {{kPath}, {kPath, 12000}, {kPath, 24000}, {kPath, 36000}, {kPath, 48000}}, 999},
        {"closes without an answer between resumes do not count: the server is away, not fruitless",
         always([](auto& r) {
             if (r.index == 0) return dropAt(10000, r);
             if (r.index <= 5) return HttpReply{};
             return fileReply(kBody, r);
         }),
         TaskEnd::Completed, "Word-1.zip", kBody, {{kPath}, {kPath, 10000}, {kPath, 10000}, {kPath, 10000},
          {kPath, 10000}, {kPath, 10000}, {kPath, 10000}}, 999},
        {"a silent server keeps every retry: five time-outs, no answer",
         always([](auto& r) {
             HttpReply reply = fileReply(kBody, r);
             reply.stallBeforeHead = true;
             reply.stallMs = 5000;
             return reply;
         }),
         TaskEnd::RetriesUsedUp, nullptr, "", times(6, {kPath}), 5, 200},
        // Bare LF line ends.
        {"a head with bare LF line ends is read",
         always([](auto&) { return HttpReply{"HTTP/1.1 200 OK\nContent-Length: 50000\nServer: tiny\n\n", kBody}; }),
         TaskEnd::Completed, "Word-1.zip", kBody, {{kPath}}},
        {"a resume answered with bare LF line ends",
         dropThen(10000,
                  [](auto&) {
                      return HttpReply{"HTTP/1.0 206 Partial\nContent-Range: bytes 10000-49999/50000\n"
                                       "Content-Length: 40000\n\n",
                                       kBody.substr(10000)};
                  }),
         TaskEnd::Completed, "Word-1.zip", kBody, {{kPath}, {kPath, 10000}}},
        {"a bare-LF redirect and a bare-LF name",
         firstThen([](auto&) { return HttpReply{"HTTP/1.1 302 Found\nLocation: /Other/x.zip\n\n", ""}; }),
         TaskEnd::Completed, "x.zip", kBody, {{kPath}, {"/Other/x.zip"}}},
        // Dot segments of redirect targets.
        {"a relative redirect's '..' is resolved before it is asked for",
         firstThen([](auto&) { return statusReply(302, {"Location: ../Other/./Excel-3.zip"}); }), TaskEnd::Completed,
         "Excel-3.zip", kBody, {{kPath}, {"/Other/Excel-3.zip"}}},
        {"a redirect that climbs above the root stays at the root",
         firstThen([](auto&) { return statusReply(302, {"Location: ../../../../Excel-3.zip"}); }),
         TaskEnd::Completed, "Excel-3.zip", kBody, {{kPath}, {"/Excel-3.zip"}}},
        {"an absolute redirect's dot segments too",
         [](const HttpRequest& r, const std::string& base) {
             return r.index == 0 ? statusReply(302, {"Location: " + base + "/a/b/../../Other/Excel-3.zip"})
                                 : fileReply(kBody, r);
         },
         TaskEnd::Completed, "Excel-3.zip", kBody, {{kPath}, {"/Other/Excel-3.zip"}}},
        {"Content-Disposition names the file", always([](auto& r) { return withDisposition("attachment; filename=\"Word 1.zip\"", r); }),
         TaskEnd::Completed, "Word 1.zip", kBody, {{kPath}}},
        {"a Content-Disposition name climbing out stays in the folder",
         always([](auto& r) { return withDisposition("attachment; filename=\"..\\..\\x\"", r); }), TaskEnd::Completed,
         "x", kBody, {{kPath}}},
        {"an absolute Content-Disposition path stays in the folder",
         always([](auto& r) { return withDisposition("attachment; filename=c:\\Windows\\evil.dll", r); }),
         TaskEnd::Completed, "evil.dll", kBody, {{kPath}}},
        {"a GBK Content-Disposition name",
         always([](auto& r) { return withDisposition("attachment; filename=\"\xCE\xC4\xBC\xFE.zip\"", r); }),
         TaskEnd::Completed, "文件.zip", kBody, {{kPath}}},
        {"a device name ends the task", always([](auto& r) { return withDisposition("attachment; filename=CON", r); }),
         TaskEnd::NoTarget, nullptr, "", {{kPath}}},
        {"a device name with an extension",
         always([](auto& r) { return withDisposition("attachment; filename=\"aux.zip\"", r); }), TaskEnd::NoTarget,
         nullptr, "", {{kPath}}},
        {"a trailing dot ends the task",
         always([](auto& r) { return withDisposition("attachment; filename=\"x.\"", r); }), TaskEnd::NoTarget, nullptr,
         "", {{kPath}}},
        {"a colon ends the task",
         always([](auto& r) { return withDisposition("attachment; filename=\"a:stream\"", r); }), TaskEnd::NoTarget,
         nullptr, "", {{kPath}}},
        {"%2F in the address decodes to a separator: only the last part counts",
         always([](auto& r) { return fileReply(kBody, r); }), TaskEnd::Completed, "evil.zip", kBody,
         {{"/Kavrel/..%2F..%2Fevil.zip"}}, 3, 2000, "/Kavrel/..%2F..%2Fevil.zip"},
        {"%5C likewise", always([](auto& r) { return fileReply(kBody, r); }), TaskEnd::Completed, "evil.zip", kBody,
         {{"/Kavrel/..%5C..%5Cevil.zip"}}, 3, 2000, "/Kavrel/..%5C..%5Cevil.zip"},
        {"plus and %20 in the address are blanks in the name", always([](auto& r) { return fileReply(kBody, r); }),
         TaskEnd::Completed, "my file x.zip", kBody, {{"/Kavrel/my+file%20x.zip"}}, 3, 2000,
         "/Kavrel/my+file%20x.zip"},
        {"an address ending in a folder gives no name", always([](auto& r) { return fileReply(kBody, r); }),
         TaskEnd::NoTarget, nullptr, "", {{"/Kavrel/"}}, 3, 2000, "/Kavrel/"},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.why);
        testing::ScratchFolder folder;
        std::string base;
        HttpServer server([&](const HttpRequest& r) { return c.reply(r, base); });
        base = server.base();
        Download download(DownloadSettings{c.retries, 5});
        TaskParam p = param(base + c.urlPath, folder.path() + "\\");
        p.receiveTimeout = c.receiveTimeout;

        TaskOutcome outcome = runToEnd(download, p);
        EXPECT_EQ(outcome.end, c.end) << toString(outcome.end);
        EXPECT_EQ(download.receivedBytes(), 0);
        EXPECT_FALSE(download.isBusy());

        std::map<std::string, std::string> found = filesIn(folder);
        if (c.savedAs) {
            ASSERT_EQ(found.size(), 1u);
            EXPECT_EQ(found.begin()->first, c.savedAs);
            EXPECT_TRUE(found.begin()->second == c.content) << "the file's bytes differ";
            EXPECT_EQ(outcome.path, folder.path() + "\\" + c.savedAs);
        } else {
            EXPECT_TRUE(found.empty()) << found.size() << " files stayed, the first " << found.begin()->first;
            EXPECT_EQ(outcome.path, "");
        }

        std::vector<HttpRequest> requests = server.requests();
        ASSERT_EQ(requests.size(), c.asked.size());
        for (size_t i = 0; i < requests.size(); ++i) {
            SCOPED_TRACE("request " + std::to_string(i));
            EXPECT_EQ(requests[i].bytes,
                      expectedRequest(c.asked[i].path, hostOf(server), base + "/Kavrel", c.asked[i].rangeFrom));
        }
        expectTakesANewTask(download);
    }
}

// ---- Addresses ----

TEST_F(DownloadTest, RefusedAddressesChangeNothing) {
    struct Case {
        const char* url;
        const char* why;
    } const cases[] = {
        {"https://127.0.0.1/Kavrel/config.txt", "https is refused"},
        {"gopher://127.0.0.1/x", "an unknown scheme"},
        {"http://127.0.0.1", "no slash after the host"},
        {"http://127.0.0.1:8731", "no slash after host and port"},
        {"127.0.0.1/Kavrel/config.txt", "no scheme"},
        {"", "an empty address"},
    };
    Download download(DownloadSettings{0, 5});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_FALSE(download.addTask(param(c.url, folderTarget())));
        EXPECT_FALSE(download.isBusy());
        EXPECT_EQ(download.receivedBytes(), 0);
    }
    EXPECT_FALSE(download.lastOutcome());
    EXPECT_TRUE(files().empty());
    expectTakesANewTask(download);
}

TEST_F(DownloadTest, OtherAcceptedSchemesEndWithoutAFile) {
    Download download(DownloadSettings{0, 5});
    for (const char* url : {"ftp://127.0.0.1/Kavrel/x.zip", "MMS://127.0.0.1/x", "mmst://127.0.0.1/x",
                            "rtsp://127.0.0.1:1/x"}) {
        SCOPED_TRACE(url);
        EXPECT_EQ(runToEnd(download, param(url, folderTarget())).end, TaskEnd::Unsupported);
    }
    EXPECT_TRUE(files().empty());
}

TEST_F(DownloadTest, SchemeInAnyCaseAndTheExactRequest) {
    HttpServer server([](const HttpRequest& r) { return fileReply("abc", r); });
    Download download;
    // Upper-case scheme, a Chinese file name sent as GBK bytes, blanks as %20, line breaks dropped.
    TaskParam p = param("HTTP://127.0.0.1:" + std::to_string(server.port()) + "/Kavrel/题 库\r\n/第 1.zip",
                        folderTarget());
    TaskOutcome outcome = runToEnd(download, p);
    EXPECT_EQ(outcome.end, TaskEnd::Completed);
    std::vector<HttpRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string gbkFolder = "\xCC\xE2%20\xBF\xE2";  // 题 库
    const std::string gbkName = "\xB5\xDA%201.zip";        // 第 1.zip
    EXPECT_EQ(requests[0].bytes,
              expectedRequest("/Kavrel/" + gbkFolder + "/" + gbkName, hostOf(server),
                              "HTTP://127.0.0.1:" + std::to_string(server.port()) + "/Kavrel/\xCC\xE2 \xBF\xE2"));
    EXPECT_EQ(files(), onlyFile("第 1.zip", "abc"));
}

TEST_F(DownloadTest, AGivenRefererIsSent) {
    HttpServer server([](const HttpRequest& r) { return fileReply("abc", r); });
    Download download;
    TaskParam p = param(server.base() + "/Kavrel/config.txt", scratch_ / "config.ini");
    p.referer = "http://testing.invalid/page\r\n";
    EXPECT_EQ(runToEnd(download, p).end, TaskEnd::Completed);
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].bytes,
              expectedRequest("/Kavrel/config.txt", hostOf(server), "http://testing.invalid/page"));
}

// ---- Naming the target ----

TEST_F(DownloadTest, AFileTargetIsNeverOverwritten) {
    HttpServer server([](const HttpRequest& r) { return fileReply("new", r); });
    scratch_.writeFile("config.ini", "old");
    scratch_.writeFile("config(1).ini", "older");
    Download download;
    TaskOutcome outcome = runToEnd(download, param(server.base() + "/Kavrel/config.txt", scratch_ / "config.ini"));
    EXPECT_EQ(outcome.end, TaskEnd::Completed);
    EXPECT_EQ(outcome.path, scratch_ / "config(2).ini");
    EXPECT_EQ(files(), (std::map<std::string, std::string>{
                           {"config.ini", "old"}, {"config(1).ini", "older"}, {"config(2).ini", "new"}}));
}

TEST_F(DownloadTest, FetchingTwiceIntoTheFolderKeepsBoth) {
    HttpServer server([](const HttpRequest& r) { return fileReply(r.index == 0 ? "first" : "second", r); });
    Download download;
    const std::string url = server.base() + "/Kavrel/Excel-3.zip";
    EXPECT_EQ(runToEnd(download, param(url, folderTarget())).path, folderTarget() + "Excel-3.zip");
    EXPECT_EQ(runToEnd(download, param(url, folderTarget())).path, folderTarget() + "Excel-3(1).zip");
    EXPECT_EQ(files(), (std::map<std::string, std::string>{{"Excel-3.zip", "first"}, {"Excel-3(1).zip", "second"}}));
}

TEST_F(DownloadTest, NinetyNineTakenNamesEndTheTask) {
    HttpServer server([](const HttpRequest& r) { return fileReply("new", r); });
    scratch_.writeFile("config.ini", "taken");
    for (int k = 1; k <= 97; ++k) scratch_.writeFile("config(" + std::to_string(k) + ").ini", "taken");
    Download download;
    const TaskParam p = param(server.base() + "/Kavrel/config.txt", scratch_ / "config.ini");
    EXPECT_EQ(runToEnd(download, p).path, scratch_ / "config(98).ini");
    EXPECT_EQ(files().size(), 99u);
    // Now 99 names are taken: the task ends and nothing is added.
    EXPECT_EQ(runToEnd(download, p).end, TaskEnd::NoTarget);
    EXPECT_EQ(files().size(), 99u);
    EXPECT_EQ(scratch_.readFile("config(98).ini"), "new");
}

TEST_F(DownloadTest, TargetPathLengthLimit) {
    HttpServer server([](const HttpRequest& r) { return fileReply("x", r); });
    Download download;
    const std::string folder = folderTarget();
    ASSERT_LT(folder.size(), 200u);
    const std::string longest(259 - folder.size(), 'n');
    EXPECT_EQ(runToEnd(download, param(server.base() + "/x", folder + longest)).end, TaskEnd::Completed);
    EXPECT_EQ(runToEnd(download, param(server.base() + "/x", folder + longest + "m")).end, TaskEnd::NoTarget);
    // The free name would be longer than allowed.
    EXPECT_EQ(runToEnd(download, param(server.base() + "/x", folder + longest)).end, TaskEnd::NoTarget);
    EXPECT_EQ(files(), onlyFile(longest, "x"));
}

TEST_F(DownloadTest, AMissingFolderEndsTheTask) {
    HttpServer server([](const HttpRequest& r) { return fileReply("x", r); });
    Download download;
    EXPECT_EQ(runToEnd(download, param(server.base() + "/x.zip", scratch_ / "missing\\")).end, TaskEnd::NoTarget);
    EXPECT_TRUE(files().empty());
}

// ---- Busy, polling, unreachable servers, stops ----

TEST_F(DownloadTest, BusyUntilTheEndAndZeroBeforeTheFirstByte) {
    std::mutex lock;
    std::condition_variable released;
    bool answer = false;
    HttpServer server([&](const HttpRequest& r) {
        std::unique_lock guard(lock);
        released.wait(guard, [&] { return answer; });
        return fileReply(kBody, r);
    });
    Download download;
    ASSERT_TRUE(download.addTask(param(server.base() + kPath, folderTarget())));
    while (server.requestCount() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(download.receivedBytes(), 0);
    EXPECT_TRUE(download.isBusy());
    EXPECT_FALSE(download.addTask(param(server.base() + "/other.zip", folderTarget())));
    {
        std::lock_guard guard(lock);
        answer = true;
    }
    released.notify_all();
    ASSERT_TRUE(download.waitUntilIdle(10000));
    EXPECT_EQ(download.lastOutcome()->end, TaskEnd::Completed);
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(files(), onlyFile("Word-1.zip", kBody));
}

TEST_F(DownloadTest, ReceivedBytesGrowWhileTheBodyArrives) {
    HttpServer server([](const HttpRequest& r) {
        HttpReply reply = fileReply(kBody, r);
        reply.trickleBytes = 5000;
        reply.trickleDelayMs = 10;
        return reply;
    });
    Download download;
    ASSERT_TRUE(download.addTask(param(server.base() + kPath, folderTarget())));
    int32_t last = 0, seen = 0;
    while (download.isBusy()) {
        int32_t now = download.receivedBytes();
        if (now == 0 && !download.isBusy()) break;
        EXPECT_GE(now, last);
        EXPECT_LE(now, 50000);
        if (now > 0) ++seen, last = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GT(seen, 2);
    EXPECT_EQ(download.receivedBytes(), 0);
    EXPECT_EQ(files(), onlyFile("Word-1.zip", kBody));
}

// The announced length follows receivedBytes' rules: the running task's only, 0 before an
// answer is accepted, and 0 once the task has gone.
TEST_F(DownloadTest, TheAnnouncedLengthOfTheRunningTask) {
    struct {
        const char* why;
        ReplyFunction reply;
        int32_t receivedWhilePaused;  // the pause comes once this much has arrived (0: none)
        int32_t announcedWhilePaused;
    } cases[] = {
        {"no answer yet: nothing is known",
         always([](const HttpRequest& r) {
             HttpReply reply = fileReply(kBody, r);
             reply.stallBeforeHead = true;
             reply.stallMs = 600;
             return reply;
         }),
         0, 0},
        {"the body under way: the whole length, not what has come",
         always([](const HttpRequest& r) {
             HttpReply reply = fileReply(kBody, r);
             reply.stallAfter = 1000;
             reply.stallMs = 600;
             return reply;
         }),
         1000, 50000},
        {"a resumed body: still the whole file's length, not the rest's",
         dropThen(20000, [](const HttpRequest& r) {
             HttpReply reply = fileReply(kBody, r);
             reply.stallAfter = 1000;
             reply.stallMs = 600;
             return reply;
         }),
         21000, 50000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        testing::ScratchFolder folder;
        HttpServer server([&c](const HttpRequest& r) { return c.reply(r, std::string()); });
        Download download(DownloadSettings{3, 20});
        EXPECT_EQ(download.announcedLength(), 0) << "idle";
        ASSERT_TRUE(download.addTask(param(server.base() + kPath, folder.path() + "\\")));
        const Clock::time_point start = Clock::now();
        if (c.receivedWhilePaused == 0) {
            while (server.requestCount() == 0 && msSince(start) < 5000)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } else {
            while (download.receivedBytes() < c.receivedWhilePaused && msSince(start) < 5000)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(download.receivedBytes(), c.receivedWhilePaused);
        EXPECT_EQ(download.announcedLength(), c.announcedWhilePaused);
        ASSERT_TRUE(download.waitUntilIdle(10000));
        EXPECT_EQ(download.lastOutcome()->end, TaskEnd::Completed);
        EXPECT_EQ(download.announcedLength(), 0) << "the task has gone";
    }
}

TEST_F(DownloadTest, NoLengthIsAnnouncedByARefusedAnswerOrAStoppedTask) {
    HttpServer server([](const HttpRequest& r) {
        if (r.path == "/missing.zip") return statusReply(404, {"Content-Length: 0"});
        HttpReply reply = fileReply(kBody, r);
        reply.stallAfter = 1000;
        reply.stallMs = 10000;
        return reply;
    });
    Download download;
    EXPECT_EQ(runToEnd(download, param(server.base() + "/missing.zip", folderTarget())).end, TaskEnd::Refused);
    EXPECT_EQ(download.announcedLength(), 0);

    ASSERT_TRUE(download.addTask(param(server.base() + kPath, folderTarget())));
    while (download.receivedBytes() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(download.announcedLength(), 50000);
    download.destroy();
    EXPECT_EQ(download.announcedLength(), 0) << "never read from a released task";
}

TEST_F(DownloadTest, AnUnreachableServerKeepsTheDownloadBusyWhileRetrying) {
    const std::string url = "http://127.0.0.1:" + std::to_string(testing::unusedPort()) + kPath;
    Download download(DownloadSettings{4, 60});
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(download.addTask(param(url, folderTarget())));
    int refused = 0;
    while (!download.waitUntilIdle(20)) {
        EXPECT_FALSE(download.addTask(param(url, folderTarget())));
        EXPECT_EQ(download.receivedBytes(), 0);
        ++refused;
    }
    EXPECT_GE(msSince(start), 4 * 60);
    EXPECT_GT(refused, 3);
    EXPECT_EQ(download.lastOutcome()->end, TaskEnd::RetriesUsedUp);
    EXPECT_TRUE(files().empty());
    expectTakesANewTask(download);
}

TEST_F(DownloadTest, DestroyInTheMiddleLeavesNothing) {
    HttpServer server([](const HttpRequest& r) {
        HttpReply reply = fileReply(kBody, r);
        reply.stallAfter = 20000;
        reply.stallMs = 10000;
        return reply;
    });
    Download download;
    TaskParam p = param(server.base() + kPath, folderTarget());
    p.stopWait = 1000;
    ASSERT_TRUE(download.addTask(p));
    while (download.receivedBytes() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(files().size(), 1u) << "the temporary file";

    const Clock::time_point start = Clock::now();
    download.destroy();
    EXPECT_LT(msSince(start), 1000 + 500);
    EXPECT_FALSE(download.isBusy());
    EXPECT_EQ(download.receivedBytes(), 0);
    EXPECT_EQ(download.lastOutcome()->end, TaskEnd::Stopped);
    EXPECT_TRUE(files().empty());
    expectTakesANewTask(download);
}

// The file being written is hidden from the student and held, so that a second copy of the
// program starting meanwhile leaves it alone; the saved file is a plain one.
TEST_F(DownloadTest, TheTemporaryFileIsHiddenAndHeldWhileItIsWritten) {
    HttpServer server([](const HttpRequest& r) {
        HttpReply reply = fileReply(kBody, r);
        if (r.index == 0) {
            reply.stallAfter = 20000;
            reply.stallMs = 10000;
        }
        return reply;
    });
    Download download;
    ASSERT_TRUE(download.addTask(param(server.base() + kPath, folderTarget())));
    while (download.receivedBytes() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::map<std::string, std::string> during = files();
    ASSERT_EQ(during.size(), 1u);
    const std::string temporary = during.begin()->first;
    EXPECT_TRUE(isTemporaryDownloadName(temporary)) << temporary;
#ifdef _WIN32
    EXPECT_TRUE(isHidden(scratch_ / temporary));
#endif
    EXPECT_EQ(removeLeftoverDownloads(scratch_.path()), 0);
    EXPECT_EQ(files().size(), 1u) << "a download in progress is no leftover";
    download.destroy();
    EXPECT_TRUE(files().empty());

    EXPECT_EQ(runToEnd(download, param(server.base() + kPath, folderTarget())).end, TaskEnd::Completed);
    EXPECT_EQ(files(), onlyFile("Word-1.zip", kBody));
#ifdef _WIN32
    EXPECT_FALSE(isHidden(scratch_ / "Word-1.zip"));
#endif
}

TEST_F(DownloadTest, DestroyCutsTheRetryWaitShort) {
    Download download(DownloadSettings{999, 60000});
    ASSERT_TRUE(download.addTask(param("http://127.0.0.1:" + std::to_string(testing::unusedPort()) + "/x.zip",
                                       folderTarget())));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const Clock::time_point start = Clock::now();
    download.destroy();
    EXPECT_LT(msSince(start), 500);
    EXPECT_FALSE(download.isBusy());
    EXPECT_TRUE(files().empty());
}

TEST_F(DownloadTest, DestroyOfAnIdleDownload) {
    Download download;
    download.destroy();
    EXPECT_FALSE(download.isBusy());
    EXPECT_EQ(download.receivedBytes(), 0);
    expectTakesANewTask(download);
}

// A task that cannot end in time is forgotten; it finishes on its own thread later, after the
// Download itself is gone, and still removes its temporary file.
TEST_F(DownloadTest, DestroyDoesNotWaitLongerThanStopWait) {
    // Held by the task's own copy of the routine too: the task outlives this test's frame.
    struct Gate {
        std::mutex lock;
        std::condition_variable changed;
        bool blocked = false, release = false;
    };
    auto gate = std::make_shared<Gate>();
    HttpServer server([](const HttpRequest& r) { return fileReply(kBody, r); });
    TaskParam p = param(server.base() + kPath, folderTarget());
    p.stopWait = 100;
    p.messageRoutine = [gate](std::string_view line) {
        if (!line.starts_with("receiving")) return;
        std::unique_lock guard(gate->lock);
        gate->blocked = true;
        gate->changed.notify_all();
        gate->changed.wait(guard, [&] { return gate->release; });
    };
    {
        Download download;
        ASSERT_TRUE(download.addTask(p));
        {
            std::unique_lock guard(gate->lock);
            gate->changed.wait(guard, [&] { return gate->blocked; });
        }
        const Clock::time_point start = Clock::now();
        download.destroy();
        long long took = msSince(start);
        EXPECT_GE(took, 80);
        EXPECT_LT(took, 100 + 500);
        EXPECT_FALSE(download.isBusy());
        EXPECT_EQ(download.receivedBytes(), 0);
        // A new task runs beside the forgotten one.
        testing::ScratchFolder other;
        TaskOutcome outcome = runToEnd(download, param(server.base() + "/x/fresh.txt", other.path() + "\\"));
        EXPECT_EQ(outcome.end, TaskEnd::Completed);
    }
    EXPECT_EQ(files().size(), 1u) << "the forgotten task's temporary file, for now";
    {
        std::lock_guard guard(gate->lock);
        gate->release = true;
    }
    gate->changed.notify_all();
    const Clock::time_point start = Clock::now();
    // Only names are looked at: a file open for reading here could not be deleted on Windows.
    auto isEmpty = [&] { return std::filesystem::is_empty(testing::fsPath(scratch_.path())); };
    while (!isEmpty() && msSince(start) < 5000) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(isEmpty());
}

TEST_F(DownloadTest, AThrowingMessageRoutineEndsOnlyTheTask) {
    HttpServer server([](const HttpRequest& r) { return fileReply(kBody, r); });
    TaskParam p = param(server.base() + kPath, folderTarget());
    p.messageRoutine = [](std::string_view line) {
        if (line.starts_with("receiving")) throw std::runtime_error("routine failed");
    };
    Download download;
    EXPECT_EQ(runToEnd(download, p).end, TaskEnd::Failed);
    EXPECT_TRUE(files().empty());
    expectTakesANewTask(download);
}

TEST_F(DownloadTest, TheDestructorStopsTheTask) {
    HttpServer server([](const HttpRequest& r) {
        HttpReply reply = fileReply(kBody, r);
        reply.stallBeforeHead = true;
        reply.stallMs = 10000;
        return reply;
    });
    const Clock::time_point start = Clock::now();
    {
        Download download;
        ASSERT_TRUE(download.addTask(param(server.base() + kPath, folderTarget())));
        while (server.requestCount() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_LT(msSince(start), 2000);
    EXPECT_TRUE(files().empty());
}

}  // namespace
}  // namespace tovren::fetch

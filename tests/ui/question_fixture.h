#pragma once
// The training window with the real download service against a question server of the test's
// own on 127.0.0.1, the exam folder on a scratch drive (natively) or the prefix's c:\Kavrel
// (under Wine, where these tests run one at a time and clear it).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "exam/exam_layout.h"
#include "ui/program.h"
#include "fetch/download.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/window/driver.h"
#include "support/http_server.h"
#include "support/scratch.h"
#include "support/zip_writer.h"
#include "ui/training_window.h"
#include "ui/window_definitions.h"

namespace tovren::ui::testing {

namespace win = platform::window;
using tovren::testing::HttpReply;
using tovren::testing::HttpRequest;

// The real download service, short retry waits, and a look at every call the window code makes.
class WatchedDownload final : public fetch::Downloader {
public:
    struct Added {
        std::string url;
        bool taken;
    };
    bool addTask(const fetch::TaskParam& param) override {
        bool taken = real.addTask(param);
        added.push_back({param.url, taken});
        return taken;
    }
    int32_t receivedBytes() const override {
        if (beforePoll) beforePoll();
        int32_t bytes = real.receivedBytes();
        polls.push_back(bytes);
        if (afterPoll) afterPoll();
        return bytes;
    }
    int32_t announcedLength() const override { return real.announcedLength(); }

    fetch::Download real{fetch::DownloadSettings{2, 50}};
    std::vector<Added> added;
    mutable std::vector<int32_t> polls;
    std::function<void()> beforePoll;  // runs at each poll, before the count is read
    std::function<void()> afterPoll;   // and after it
};

inline constexpr std::string_view kCatalogueText =
    "[题目数量]\r\nWord题数量=3\r\nExcel题数量=2\r\n"
    "[操作要求]\r\nWord第1题=打开文件~把标题加粗\r\nWord第2题=插入表格\r\n"
    "Excel第2题=求和~排序~画图\r\n选择题目=占位\r\n";
inline constexpr std::string_view kWord1Text = "打开文件\r\n把标题加粗\r\n";

// A package as the server holds it: a file, a folder entry and a file inside it.
inline std::string package(std::string_view tag) {
    using namespace tovren::testing;
    return zipArchive({
        {.name = *platform::utf8ToGbk("说明.txt"), .data = "read me " + std::string(tag)},
        {.name = *platform::utf8ToGbk("数据/"), .method = kStored, .externalAttributes = kDosFolder},
        {.name = *platform::utf8ToGbk("数据/表.csv"), .data = "1,2,3 " + std::string(tag)},
    });
}

class QuestionTest : public ::testing::Test {
protected:
    QuestionTest() {
#ifdef _WIN32
        clearExamFolder();
#else
        platform::setDriveRoot(platform::nativePath(scratch.path()));
        std::filesystem::create_directories(tovren::testing::fsPath(scratch.path()) / "c");
#endif
        program.serverBase = server.base();
        program.testingSiteBase = server.base();  // its login page is one more 404 of this server
        serve("/Kavrel/config.txt", *platform::utf8ToGbk(kCatalogueText));
        for (auto name : {"Word-1", "Word-2", "Word-3", "Excel-1", "Excel-2"})
            serve("/Kavrel/" + std::string(name) + ".zip", package(name));
    }
    ~QuestionTest() override {
        program.download.reset();  // ends any fetch before the folder goes
#ifdef _WIN32
        clearExamFolder();
#endif
    }

    static void clearExamFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(tovren::testing::fsPath(exam::kExamFolder), ignored);
    }

    // Loads the training window and lets the catalogue arrive.
    win::Window& load() {
        training = windows.load(site.def(), nullptr, false, [this](win::Window& w) { bindTrainingWindow(w, program); });
        EXPECT_NE(training, nullptr);
        EXPECT_TRUE(waitIdle());
        EXPECT_TRUE(platform::pathExists(exam::cataloguePath()));
        return *training;
    }

    bool waitIdle() { return download->real.waitUntilIdle(15000); }

    void serve(const std::string& path, std::string body) {
        route(path, [body](const HttpRequest& r) { return tovren::testing::fileReply(body, r); });
    }
    void route(const std::string& path, std::function<HttpReply(const HttpRequest&)> reply) {
        std::lock_guard lock(mutex_);
        routes_[path] = std::move(reply);
    }
    size_t requestsFor(std::string_view path) const {
        size_t n = 0;
        for (const auto& r : server.requests()) n += r.path == path;
        return n;
    }

    int preparingWindowsLoaded() const {
        int n = 0;
        for (const auto& w : windows.windows()) n += w->name() == kPreparingWindow.name;
        return n;
    }
    bool preparingWindowUp() const {
        for (const auto& w : windows.windows())
            if (w->name() == kPreparingWindow.name && w->exists()) return true;
        return false;
    }

    // Presses Esc in the preparing window as soon as it is up, before its first tick.
    void pressEscOnceThePreparingWindowIsUp(int triesLeft = 5000) {
        driver->later([this, triesLeft] {
            for (const auto& w : windows.windows()) {
                if (w->name() == kPreparingWindow.name && w->exists()) {
                    driver->pressEsc(*w);
                    return;
                }
            }
            if (triesLeft > 0) pressEscOnceThePreparingWindowIsUp(triesLeft - 1);
        });
    }

    // Waits (real time, bounded) until the running fetch has received part of its body.
    bool waitForBytes() const {
        for (int i = 0; i < 1000; ++i) {
            if (download->real.receivedBytes() > 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    static std::string readFile(std::string_view path) { return platform::readWholeFile(path).value_or("<missing>"); }
    std::string requirementText() { return training->editBox(k编辑框1).text(); }

    tovren::testing::ScratchFolder scratch;
    mutable std::mutex mutex_;
    std::map<std::string, std::function<HttpReply(const HttpRequest&)>> routes_;
    tovren::testing::HttpServer server{[this](const HttpRequest& r) {
        std::function<HttpReply(const HttpRequest&)> reply;
        {
            std::lock_guard lock(mutex_);
            auto it = routes_.find(r.path);
            if (it != routes_.end()) reply = it->second;
        }
        return reply ? reply(r) : tovren::testing::statusReply(404, {"Content-Length: 0"});
    }};
    TrainingWindowAt site{server.base()};  // outlives the window, which reads its table
    win::WindowSystem windows{win::makeBackend()};
    std::unique_ptr<win::Driver> driver = win::makeDriver(windows);
    WatchedDownload* download = nullptr;
    ui::Program program{windows, [this] {
                             auto made = std::make_unique<WatchedDownload>();
                             download = made.get();
                             return made;
                         }()};
    win::Window* training = nullptr;
};

}  // namespace tovren::ui::testing

// The training window's handlers, driven through the simulated user on every backend.
#include "ui/training_window.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <vector>

#include "exam/exam_layout.h"
#include "exam/set_aside.h"
#include "ui/program.h"
#include "app/run.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/window/driver.h"
#include "support/http_server.h"
#include "support/scratch.h"
#include "ui/theory_tab.h"
#include "ui/window_definitions.h"

namespace tovren::ui {
namespace {

namespace win = platform::window;

// A download service that answers from a script and fetches nothing.
class ScriptedDownloader final : public fetch::Downloader {
public:
    struct Log {
        std::vector<fetch::TaskParam> tasks;
        bool destroyed = false;
    };
    ScriptedDownloader(Log& log, std::deque<bool> results = {}) : log_(log), results_(std::move(results)) {}
    ~ScriptedDownloader() override { log_.destroyed = true; }
    bool addTask(const fetch::TaskParam& param) override {
        log_.tasks.push_back(param);
        if (results_.empty()) return true;
        bool next = results_.front();
        results_.pop_front();
        return next;
    }
    int32_t receivedBytes() const override { return 0; }
    int32_t announcedLength() const override { return 0; }

private:
    Log& log_;
    std::deque<bool> results_;
};

constexpr std::string_view kCatalogue =
    "[题目数量]\r\nWord题数量=3\r\nExcel题数量=2\r\nFrontPage题数量=0\r\nFlash题数量=-1\r\n"
    "PhotoShop题数量=abc\r\n[操作要求]\r\nWord第1题=一~二\r\n";

class TrainingWindowTest : public ::testing::Test {
protected:
    TrainingWindowTest() {
#ifndef _WIN32
        platform::setDriveRoot(platform::nativePath(scratch.path()));
        std::filesystem::create_directories(testing::fsPath(scratch.path()) / "c");
#endif
        clearCatalogues();
        program.testingSiteBase = siteServer.base();
    }
    ~TrainingWindowTest() override { clearCatalogues(); }

    // Under Wine the exam folder is the prefix's own: no catalogue of an earlier test stays.
    static void clearCatalogues() {
        platform::deleteFile(exam::cataloguePath());
        platform::deleteFile(exam::setAsidePath(exam::cataloguePath()));
    }

    win::Window& load() {
        win::Window* w = windows.load(site.def(), nullptr, false,
                                      [this](win::Window& w) { bindTrainingWindow(w, program); });
        EXPECT_NE(w, nullptr);
        return *w;
    }

    static void writeCatalogue() {
        exam::ensureExamFolder();
        auto file = platform::File::open(exam::cataloguePath(), platform::File::Mode::CreateAlways);
        ASSERT_TRUE(file);
        std::string gbk = *platform::utf8ToGbk(kCatalogue);
        ASSERT_TRUE(file->write(gbk.data(), static_cast<int64_t>(gbk.size())));
    }

    static std::vector<std::string> items(win::ComboBox& combo) {
        std::vector<std::string> out;
        for (int32_t i = 0; i < combo.itemCount(); ++i)
            out.push_back(combo.itemText(i) + "=" + std::to_string(combo.itemValue(i)));
        return out;
    }

    testing::ScratchFolder scratch;
    // The browser's testing site: a server of the test's own that has no page.
    testing::HttpServer siteServer{
        [](const testing::HttpRequest&) { return testing::statusReply(404, {"Content-Length: 0"}); }};
    TrainingWindowAt site{siteServer.base()};
    win::WindowSystem windows{win::makeBackend()};
    std::unique_ptr<win::Driver> driver = win::makeDriver(windows);
    ScriptedDownloader::Log log;
    ui::Program program{windows, std::make_unique<ScriptedDownloader>(log)};
};

TEST_F(TrainingWindowTest, CreationFetchesTheCatalogueAnewAndShowsTheFirstPage) {
    platform::createFolder(exam::kExamFolder);
    writeCatalogue();
    ASSERT_TRUE(platform::pathExists(exam::cataloguePath()));
    win::Window& w = load();

    EXPECT_TRUE(platform::isDirectory(exam::kExamFolder));
    EXPECT_FALSE(platform::pathExists(exam::cataloguePath())) << "the old catalogue is deleted";
    ASSERT_EQ(log.tasks.size(), 1u);
    EXPECT_EQ(log.tasks[0].url, exam::catalogueAddress());
    EXPECT_EQ(log.tasks[0].localPath, "c:\\Kavrel\\config.ini");

    EXPECT_TRUE(w.visible());
    EXPECT_TRUE(w.alwaysOnTop());
    EXPECT_EQ(w.left(), (1024 - 577) / 2);
    EXPECT_EQ(w.top(), (768 - 278) / 2);
    EXPECT_EQ(w.width(), 577);
    EXPECT_EQ(w.height(), 278);
    for (const auto& c : w.controls()) {
        SCOPED_TRACE(std::string(c->name()));
        bool onFirstPage = c->def().page == 0 || c->def().page == win::kOnWindow;
        EXPECT_EQ(c->visible(), onFirstPage && !win::isComponent(c->kind()));
    }
    EXPECT_TRUE(w.control(k打开考试文件夹).hasFocus());
    EXPECT_EQ(w.comboBox(k组合框_选择题型).currentSelection(), 0);
    EXPECT_EQ(w.comboBox(k组合框_选择题型).text(), "选择题型");
    EXPECT_EQ(w.comboBox(k组合框_选择题目).text(), "选择题目");
    EXPECT_EQ(w.editBox(k编辑框2).text(), kHelpText);
    EXPECT_EQ(driver->navigations(w.browserBox(k超文本浏览框1)),
              std::vector<std::string>{siteServer.base() + "/passport/login"})
        << "the browser starts loading at once, at the test's own site";
    EXPECT_EQ(driver->tips(w.balloonTipBox(k气球提示框1)),
              std::vector<std::string>{"标签1|" + std::string(kTheoryTipText) + "|-1"});
    EXPECT_EQ(program.state.typeText, "");
    EXPECT_EQ(program.state.questionCount, 0);
}

TEST_F(TrainingWindowTest, TheWindowIsCentredWhateverTheScreen) {
    struct {
        win::Size screen;
        int32_t left, top;
    } cases[] = {{{1024, 768}, 223, 245}, {{800, 600}, 111, 161}, {{1280, 1024}, 351, 373}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.screen.width) + "x" + std::to_string(c.screen.height));
        driver->setScreenSize(c.screen);
        win::Window& w = load();
        EXPECT_EQ(w.left(), c.left);
        EXPECT_EQ(w.top(), c.top);
        w.destroy();
    }
}

TEST_F(TrainingWindowTest, FocusGoesToTheFirstControlOfEachPage) {
    win::Window& w = load();
    auto& tabs = w.tabControl(k选择夹1);
    struct {
        int32_t tab;
        std::string_view focused;
        const char* why;
    } cases[] = {
        {1, k按钮3, "the label cannot take the focus"},
        {2, k按钮帮助, "the help text box is disabled"},
        {0, k打开考试文件夹, "back on the first page"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        driver->selectTab(tabs, c.tab);
        EXPECT_TRUE(w.control(c.focused).hasFocus());
        EXPECT_TRUE(w.control(c.focused).visible());
    }
}

TEST_F(TrainingWindowTest, ChoosingATypeFillsTheQuestionListFromTheCatalogue) {
    win::Window& w = load();
    auto& types = w.comboBox(k组合框_选择题型);
    auto& questions = w.comboBox(k组合框_选择题目);

    driver->pickItem(types, 1);
    EXPECT_EQ(program.state.typeText, "Word");
    EXPECT_EQ(program.state.questionCount, 0) << "the catalogue has not arrived yet";
    EXPECT_TRUE(items(questions).empty());
    EXPECT_EQ(questions.text(), "") << "the placeholder went with the items";

    writeCatalogue();  // it arrives late
    driver->pickItem(types, 1);
    EXPECT_EQ(program.state.questionCount, 3);
    EXPECT_EQ(items(questions), (std::vector<std::string>{"第1题=1", "第2题=2", "第3题=3"}));
    EXPECT_EQ(questions.currentSelection(), -1) << "no item is selected afterwards";
}

TEST_F(TrainingWindowTest, TypesWithoutQuestionsLeaveTheListEmpty) {
    writeCatalogue();
    win::Window& w = load();
    writeCatalogue();  // creation deleted the old one
    auto& types = w.comboBox(k组合框_选择题型);
    auto& questions = w.comboBox(k组合框_选择题目);
    struct {
        int32_t item;
        std::string_view type;
        int32_t count;
        const char* why;
    } cases[] = {
        {0, "选择题型", 0, "the placeholder type has no count"},
        {4, "FrontPage", 0, "a count of 0"},
        {5, "Flash", -1, "a negative count"},
        {6, "PhotoShop", 0, "no number"},
        {7, "Windows", 0, "no count at all"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        driver->pickItem(types, 2);  // Excel: two questions first
        ASSERT_EQ(questions.itemCount(), 2);
        driver->pickItem(types, c.item);
        EXPECT_EQ(program.state.typeText, c.type);
        EXPECT_EQ(program.state.questionCount, c.count);
        EXPECT_EQ(questions.itemCount(), 0);
        EXPECT_EQ(questions.text(), "");
    }
}

TEST_F(TrainingWindowTest, ChoosingATypeKeepsTheLastQuestionAndItsRequirements) {
    writeCatalogue();
    win::Window& w = load();
    writeCatalogue();
    program.state.questionLabel = "第1题";
    program.state.requirementKey = "Word第1题";
    program.state.questionNumberText = "1";
    w.editBox(k编辑框1).setText("一\r\n二\r\n");
    driver->pickItem(w.comboBox(k组合框_选择题型), 2);
    EXPECT_EQ(program.state.typeText, "Excel");
    EXPECT_EQ(program.state.questionLabel, "第1题");
    EXPECT_EQ(program.state.requirementKey, "Word第1题");
    EXPECT_EQ(program.state.questionNumberText, "1");
    EXPECT_EQ(w.editBox(k编辑框1).text(), "一\r\n二\r\n");
}

TEST_F(TrainingWindowTest, TypingIntoTheTypeBoxRaisesNothing) {
    writeCatalogue();
    win::Window& w = load();
    writeCatalogue();
    driver->typeInto(w.comboBox(k组合框_选择题型), "Word");
    EXPECT_EQ(program.state.typeText, "");
    EXPECT_EQ(items(w.comboBox(k组合框_选择题目)), std::vector<std::string>{"选择题目=0"});
}

TEST_F(TrainingWindowTest, TheTheoryTabFillsTheScreenAndTheOtherTabsRestoreTheSizes) {
    driver->setScreenSize({1024, 768});
    win::Window& w = load();
    auto& tabs = w.tabControl(k选择夹1);
    auto& browser = w.browserBox(k超文本浏览框1);
    struct {
        int32_t tab;
        const char* why;
    } back[] = {{0, "back to the questions"}, {2, "on to help"}};
    for (const auto& c : back) {
        SCOPED_TRACE(c.why);
        w.setAlwaysOnTop(false);
        driver->selectTab(tabs, 1);
        EXPECT_EQ(w.left(), 0);
        EXPECT_EQ(w.top(), 0);
        EXPECT_EQ(w.width(), 1024);
        EXPECT_EQ(w.height(), 768);
        EXPECT_EQ(tabs.width(), 1014);
        EXPECT_EQ(tabs.height(), 730);
        EXPECT_EQ(browser.width(), 1000);
        EXPECT_EQ(browser.height(), 698);
        EXPECT_FALSE(w.alwaysOnTop()) << "the theory tab leaves it as it was";
        EXPECT_TRUE(browser.visible());

        driver->selectTab(tabs, c.tab);
        EXPECT_EQ(w.width(), 577);
        EXPECT_EQ(w.height(), 278);
        EXPECT_EQ(tabs.width(), 566);
        EXPECT_EQ(tabs.height(), 240);
        EXPECT_EQ(browser.width(), 552);
        EXPECT_EQ(browser.height(), 208);
        EXPECT_EQ(w.left(), 0) << "the position is not restored";
        EXPECT_EQ(w.top(), 0);
        EXPECT_TRUE(w.alwaysOnTop());
    }
}

TEST_F(TrainingWindowTest, OnlyTheBackgroundAndTheBlackLabelMoveTheWindow) {
    win::Window& w = load();
    auto& tabs = w.tabControl(k选择夹1);
    // Client points. The tab control covers (2, 8) to (568, 248); a page's controls are placed
    // from its corner. The move pointer shows over the window's own background only.
    struct {
        int32_t page, x, y;
        bool moves, movePointer;
        const char* why;
    } cases[] = {
        {0, 300, 3, true, true, "background above the tab control"},
        {0, 0, 120, true, true, "background left of the tab control"},
        {0, 568, 120, true, true, "background right of the tab control"},
        {0, 300, 248, true, true, "background below the tab control"},
        {0, 450, 18, false, false, "the tab strip beside the tabs"},
        {0, 100, 43, false, false, "the empty part of the page above the requirement box"},
        {0, 2 + 229 + 30, 8 + 24 + 8, false, false, "the type combo box"},
        {0, 2 + 342 + 30, 8 + 24 + 8, false, false, "the question combo box"},
        {0, 100, 120, false, false, "the requirement box"},
        {1, 2 + 150 + 20, 8 + 24 + 8, true, false, "the black label: it moves, with its own pointer"},
        {1, 2 + 16 + 10, 8 + 24 + 6, false, false, "the triangle button"},
        {1, 2 + 100, 8 + 40 + 100, false, false, "the browser"},
        {2, 208, 132, false, false, "the greyed help text, which the system passes by to the page"},
        {2, 2 + 470, 8 + 150, false, false, "the help page beside the help text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        if (tabs.currentTab() != c.page) driver->selectTab(tabs, c.page);
        ASSERT_EQ(tabs.currentTab(), c.page);
        EXPECT_EQ(driver->pressMovesWindow(w, c.x, c.y), c.moves);
        EXPECT_EQ(driver->showsMovePointer(w, c.x, c.y), c.movePointer);
        EXPECT_EQ(tabs.currentTab(), c.page) << "the press changed nothing";
    }
}

TEST_F(TrainingWindowTest, EscAsksTheCloseQuestionAndNoKeepsTheWindowOnTop) {
    win::Window& w = load();
    bool topmostDuringQuestion = true;
    windows.setMessageBoxAnswerer([&](const win::MessageBoxCall& call) {
        EXPECT_EQ(call.text, "真的要退出训练吗？");
        EXPECT_EQ(call.title, "Tovren");
        EXPECT_EQ(call.buttons, win::Buttons::YesNo);
        EXPECT_FALSE(w.enabled()) << "the box is modal to the whole program";
        topmostDuringQuestion = w.alwaysOnTop();
        return win::Answer::No;
    });
    driver->pressEsc(w);
    EXPECT_FALSE(topmostDuringQuestion);
    EXPECT_TRUE(w.exists());
    EXPECT_TRUE(w.alwaysOnTop());
    EXPECT_TRUE(w.enabled());
}

TEST_F(TrainingWindowTest, NoControlKeepsEscForItself) {
    win::Window& w = load();
    std::string_view focused[] = {k编辑框1, k组合框_选择题型, k组合框_选择题目, k打开考试文件夹};
    for (std::string_view name : focused) {
        SCOPED_TRACE(std::string(name));
        driver->focusOn(w.control(name));
        EXPECT_TRUE(w.control(name).hasFocus());
        size_t asked = driver->messageBoxes().size();
        driver->answer(win::Answer::No);
        driver->pressEsc(w);
        EXPECT_EQ(driver->messageBoxes().size(), asked + 1);
        EXPECT_TRUE(w.exists());
    }
}

TEST_F(TrainingWindowTest, TheCloseButtonAsksTheSameQuestion) {
    win::Window& w = load();
    driver->answer(win::Answer::No);
    driver->close(w);
    ASSERT_EQ(driver->messageBoxes().size(), 1u);
    EXPECT_EQ(driver->messageBoxes()[0].text, "真的要退出训练吗？");
    EXPECT_TRUE(w.exists());
}

TEST_F(TrainingWindowTest, ALogOffRefusedByNoKeepsTheProgramRunning) {
    win::Window& w = load();
    driver->answer(win::Answer::No);
    EXPECT_FALSE(driver->logOff());
    EXPECT_TRUE(w.exists());
    EXPECT_EQ(driver->messageBoxes().size(), 1u);
    driver->answer(win::Answer::Yes);
    EXPECT_TRUE(driver->logOff());
}

TEST_F(TrainingWindowTest, YesEndsTheProgramAfterTheCleanUpWithExitCode0) {
    ScriptedDownloader::Log runLog;
    driver->later([&] {
        win::Window& w = *windows.windows().front();
        driver->answer(win::Answer::Yes);
        driver->pressEsc(w);
    });
    int code = app::runProgram(windows, std::make_unique<ScriptedDownloader>(runLog), siteServer.base());
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(runLog.destroyed) << "the clean-up destroyed the download object";
    EXPECT_FALSE(windows.anyWindowExists());
    EXPECT_EQ(driver->messageBoxes().size(), 1u);
}

TEST_F(TrainingWindowTest, StartUpRemovesOnlyItsOwnLeftoverDownloadsFromTheExamFolder) {
    exam::ensureExamFolder();
    const std::string folder = exam::packageDownloadTarget();
    auto put = [](const std::string& path) {
        auto file = platform::File::open(path, platform::File::Mode::CreateAlways);
        ASSERT_TRUE(file);
        ASSERT_TRUE(file->resize(4096));
    };
    put(folder + "~tvr0badf00d.tmp");  // a killed run's, at the full length
    put(folder + "notes.tmp");
    // Another copy of the program, still downloading.
    std::optional<platform::File> running =
        platform::File::open(folder + "~tvr0000cafe.tmp", platform::File::Mode::CreateNewTemporary);
    ASSERT_TRUE(running);
    ScriptedDownloader::Log runLog;
    driver->later([&] {
        driver->answer(win::Answer::Yes);
        driver->pressEsc(*windows.windows().front());
    });
    EXPECT_EQ(app::runProgram(windows, std::make_unique<ScriptedDownloader>(runLog)), 0);
    EXPECT_FALSE(platform::pathExists(folder + "~tvr0badf00d.tmp"));
    EXPECT_TRUE(platform::pathExists(folder + "notes.tmp"));
    EXPECT_TRUE(platform::pathExists(folder + "~tvr0000cafe.tmp"));
    running.reset();
    for (const char* name : {"notes.tmp", "~tvr0000cafe.tmp"}) platform::deleteFile(folder + name);
}

using TrainingWindowDeathTest = TrainingWindowTest;

TEST_F(TrainingWindowDeathTest, RefusedCatalogueDownloadEndsAtOnceWithExitCode0) {
    EXPECT_EXIT(
        {
            struct Watch final : fetch::Downloader {
                win::WindowSystem& windows;
                explicit Watch(win::WindowSystem& w) : windows(w) {}
                ~Watch() override {
                    bool shown = windows.windows().front()->visible();
                    std::fprintf(stderr, "clean-up, window shown: %s\n", shown ? "yes" : "no");
                }
                bool addTask(const fetch::TaskParam&) override { return false; }
                int32_t receivedBytes() const override { return 0; }
                int32_t announcedLength() const override { return 0; }
            };
            app::runProgram(windows, std::make_unique<Watch>(windows), siteServer.base());
            std::fputs("returned\n", stderr);
        },
        ::testing::ExitedWithCode(0), "^clean-up, window shown: no\n$");
}

}  // namespace
}  // namespace tovren::ui

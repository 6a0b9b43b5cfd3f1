// The theory tab's browser handlers and the help button, on every backend; the help document
// comes through the real download service from a local server.
#include "ui/help_tab.h"
#include "ui/theory_tab.h"

#include "ui/question_fixture.h"

namespace tovren::ui::testing {
namespace {

using TheoryHelpTest = QuestionTest;

constexpr std::string_view kHelpBody = "ITSF help document";

TEST_F(TheoryHelpTest, ThePresentHelpDocumentOpensAtOnce) {
    win::Window& w = load();
    auto file = platform::File::open(exam::helpPath(), platform::File::Mode::CreateNew);
    ASSERT_TRUE(file && file->write("part", 4) && file->close());
    size_t added = download->added.size();

    driver->selectTab(w.tabControl(k选择夹1), 2);
    driver->click(w.button(k按钮帮助));
    EXPECT_EQ(download->added.size(), added) << "no download";
    EXPECT_EQ(preparingWindowsLoaded(), 0);
    EXPECT_EQ(program.taskParam.url, server.base() + "/Kavrel/ITHelp.chm") << "set on every click";
    EXPECT_EQ(program.taskParam.localPath, "c:\\Kavrel\\ITHelp.chm");
    EXPECT_EQ(driver->shellCalls(), std::vector<std::string>{"open|c:\\Kavrel\\ITHelp.chm"});
    EXPECT_EQ(readFile(exam::helpPath()), "part") << "kept as it is";
    EXPECT_EQ(requestsFor("/Kavrel/ITHelp.chm"), 0u);
}

TEST_F(TheoryHelpTest, AMissingHelpDocumentIsFetchedOnce) {
    serve("/Kavrel/ITHelp.chm", std::string(kHelpBody));
    win::Window& w = load();
    driver->selectTab(w.tabControl(k选择夹1), 2);
    bool onTopDuringWait = true;
    download->beforePoll = [&] { onTopDuringWait = w.alwaysOnTop(); };
    driver->click(w.button(k按钮帮助));
    EXPECT_EQ(preparingWindowsLoaded(), 1);
    EXPECT_FALSE(onTopDuringWait);
    EXPECT_TRUE(w.alwaysOnTop());
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(readFile(exam::helpPath()), kHelpBody);

    driver->click(w.button(k按钮帮助));
    EXPECT_EQ(requestsFor("/Kavrel/ITHelp.chm"), 1u);
    EXPECT_EQ(preparingWindowsLoaded(), 1);
    EXPECT_EQ(driver->shellCalls(),
              (std::vector<std::string>{"open|c:\\Kavrel\\ITHelp.chm", "open|c:\\Kavrel\\ITHelp.chm"}));
}

TEST_F(TheoryHelpTest, AHelpDocumentThatFailedIsFetchedAtTheNextClick) {
    int calls = 0;
    route("/Kavrel/ITHelp.chm", [&calls](const HttpRequest& r) {
        if (calls++ == 0) return tovren::testing::statusReply(404, {"Content-Length: 0"});
        return tovren::testing::fileReply(std::string(kHelpBody), r);
    });
    win::Window& w = load();
    driver->selectTab(w.tabControl(k选择夹1), 2);
    driver->click(w.button(k按钮帮助));
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(platform::pathExists(exam::helpPath()));
    EXPECT_EQ(driver->shellCalls().size(), 1u) << "opened all the same";

    driver->click(w.button(k按钮帮助));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(readFile(exam::helpPath()), kHelpBody);
    EXPECT_EQ(requestsFor("/Kavrel/ITHelp.chm"), 2u);
    EXPECT_EQ(preparingWindowsLoaded(), 2);
    EXPECT_EQ(driver->shellCalls().size(), 2u);
}

TEST_F(TheoryHelpTest, TheTriangleGoesBackToTheLoginPage) {
    win::Window& w = load();
    auto& browser = w.browserBox(k超文本浏览框1);
    driver->selectTab(w.tabControl(k选择夹1), 1);
    driver->click(w.button(k按钮3));
    driver->reportStatusText(browser, "http://127.0.0.1:1/elsewhere");
    driver->requestNewWindow(browser);
    driver->click(w.button(k按钮3));
    std::string login = server.base() + "/passport/login";  // the test's own site, not the compiled-in one
    EXPECT_EQ(driver->navigations(browser),
              (std::vector<std::string>{login, login, "http://127.0.0.1:1/elsewhere", login}));
}

TEST_F(TheoryHelpTest, NewWindowsOpenInPlaceAndAreRefused) {
    win::Window& w = load();
    auto& browser = w.browserBox(k超文本浏览框1);
    struct {
        std::string status;  // reported before the request; empty: none reported
        const char* why;
    } cases[] = {
        {"", "before any status text: the browser goes to an empty address"},
        {"http://127.0.0.1:1/page.html?a=1", "the latest status text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        if (!c.status.empty()) driver->reportStatusText(browser, c.status);
        EXPECT_FALSE(driver->requestNewWindow(browser));
        EXPECT_EQ(driver->navigations(browser).back(), c.status);
    }
    EXPECT_EQ(driver->navigations(browser).size(), 3u);
}

}  // namespace
}  // namespace tovren::ui::testing

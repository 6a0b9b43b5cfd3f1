// One question end to end: the type, the question, the preparing wait, the requirements and the
// exam folder, with the real download service against a local server, on every backend.
#include "ui/preparation.h"

#include <algorithm>
#include <set>

#include "exam/set_aside.h"
#include "ui/question_fixture.h"

namespace tovren::ui::testing {
namespace {

using PreparationTest = QuestionTest;
namespace fs = std::filesystem;

std::set<std::string> examFolderListing() {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(tovren::testing::fsPath(exam::kExamFolder)))
        names.insert(fs::relative(e.path(), tovren::testing::fsPath(exam::kExamFolder)).generic_string());
    return names;
}

TEST_F(PreparationTest, OneQuestionFromTypeToOpenFolder) {
    win::Window& w = load();
    driver->pickItem(w.comboBox(k组合框_选择题型), 1);
    ASSERT_EQ(w.comboBox(k组合框_选择题目).itemCount(), 3);

    struct Seen {
        bool onTop, enabled;
        std::string text;
    };
    std::vector<Seen> seen;
    download->beforePoll = [&] { seen.push_back({w.alwaysOnTop(), w.enabled(), requirementText()}); };
    driver->pickItem(w.comboBox(k组合框_选择题目), 0);

    EXPECT_EQ(program.state.questionLabel, "第1题");
    EXPECT_EQ(program.state.requirementKey, "Word第1题");
    EXPECT_EQ(program.state.questionNumberText, "1");
    ASSERT_FALSE(download->added.empty());
    EXPECT_EQ(download->added.back().url, server.base() + "/Kavrel/Word-1.zip");
    EXPECT_TRUE(download->added.back().taken);
    EXPECT_EQ(program.taskParam.localPath, "c:\\Kavrel\\");
    EXPECT_EQ(preparingWindowsLoaded(), 1);
    EXPECT_FALSE(preparingWindowUp());
    ASSERT_FALSE(seen.empty()) << "the timer polled the download";
    for (const Seen& s : seen) {
        EXPECT_FALSE(s.onTop) << "not on top during the wait";
        EXPECT_FALSE(s.enabled) << "the wait is modal";
        EXPECT_EQ(s.text, "") << "the requirements come after the wait";
    }
    EXPECT_LE(download->polls.back(), 0);
    EXPECT_TRUE(w.alwaysOnTop());
    EXPECT_TRUE(w.enabled());
    EXPECT_EQ(requirementText(), kWord1Text);

    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(readFile("c:\\Kavrel\\Word-1.zip"), package("Word-1"));

    driver->click(w.button(k打开考试文件夹));
    EXPECT_EQ(readFile("c:\\Kavrel\\Word-1\\说明.txt"), "read me Word-1");
    EXPECT_EQ(readFile("c:\\Kavrel\\Word-1\\数据\\表.csv"), "1,2,3 Word-1");
    EXPECT_EQ(driver->shellCalls(), std::vector<std::string>{"explore|c:\\Kavrel"});
}

TEST_F(PreparationTest, ThePreparingWindowClosesAtItsFirstTickWhenNoByteHasArrived) {
    route("/Kavrel/Word-1.zip", [](const HttpRequest& r) {
        HttpReply reply = tovren::testing::fileReply(package("Word-1"), r);
        reply.stallBeforeHead = true;
        reply.stallMs = 3000;
        return reply;
    });
    win::Window& w = load();
    driver->pickItem(w.comboBox(k组合框_选择题型), 1);
    std::vector<int64_t> pollTimes;
    download->beforePoll = [&] { pollTimes.push_back(windows.now()); };
    int64_t start = windows.now();
    driver->pickItem(w.comboBox(k组合框_选择题目), 0);

    EXPECT_EQ(download->polls, std::vector<int32_t>{0});
    ASSERT_EQ(pollTimes.size(), 1u);
    EXPECT_EQ(pollTimes[0] - start, 500) << "the first tick, 500 ms after the load";
    EXPECT_FALSE(preparingWindowUp());
    EXPECT_TRUE(w.alwaysOnTop());
    EXPECT_EQ(requirementText(), kWord1Text) << "shown at once";
    EXPECT_TRUE(download->real.isBusy()) << "the fetch goes on in the background";
}

TEST_F(PreparationTest, ThePreparingWindowStaysWhileContentArrives) {
    std::string body = package("Word-1") + std::string(30000, 'x');
    route("/Kavrel/Word-1.zip", [body](const HttpRequest& r) {
        HttpReply reply = tovren::testing::fileReply(body, r);
        reply.trickleBytes = 1500;
        reply.trickleDelayMs = 40;
        return reply;
    });
    win::Window& w = load();
    driver->pickItem(w.comboBox(k组合框_选择题型), 1);
    bool first = true;
    std::vector<std::string> textsDuringWait;
    download->beforePoll = [&] {
        // The first tick comes half a second after the load: by then the body has begun.
        if (first) {
            EXPECT_TRUE(waitForBytes());
            first = false;
        }
        textsDuringWait.push_back(requirementText());
    };
    driver->pickItem(w.comboBox(k组合框_选择题目), 0);

    ASSERT_GE(download->polls.size(), 2u);
    EXPECT_GT(download->polls.front(), 0);
    EXPECT_EQ(download->polls.back(), 0) << "the window went when the fetch had ended";
    EXPECT_TRUE(std::all_of(download->polls.begin(), download->polls.end() - 1, [](int32_t n) { return n > 0; }));
    EXPECT_TRUE(std::all_of(textsDuringWait.begin(), textsDuringWait.end(), [](auto& t) { return t.empty(); }));
    EXPECT_FALSE(preparingWindowUp());
    EXPECT_FALSE(download->real.isBusy());
    EXPECT_EQ(readFile("c:\\Kavrel\\Word-1.zip"), body);
    EXPECT_EQ(requirementText(), kWord1Text);
    EXPECT_TRUE(w.alwaysOnTop());
}

TEST_F(PreparationTest, EscEndsTheWaitWhileTheFetchGoesOn) {
    std::string body = package("Word-1") + std::string(20000, 'x');
    route("/Kavrel/Word-1.zip", [body](const HttpRequest& r) {
        HttpReply reply = tovren::testing::fileReply(body, r);
        reply.trickleBytes = 500;  // two seconds in all
        reply.trickleDelayMs = 50;
        return reply;
    });
    win::Window& w = load();
    driver->pickItem(w.comboBox(k组合框_选择题型), 1);
    pressEscOnceThePreparingWindowIsUp();
    driver->pickItem(w.comboBox(k组合框_选择题目), 0);

    EXPECT_EQ(preparingWindowsLoaded(), 1);
    EXPECT_FALSE(preparingWindowUp());
    EXPECT_TRUE(download->polls.empty()) << "Esc came before the first tick";
    EXPECT_TRUE(w.alwaysOnTop());
    EXPECT_TRUE(w.enabled());
    EXPECT_EQ(requirementText(), kWord1Text);
    EXPECT_TRUE(download->real.isBusy()) << "the fetch goes on";
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(readFile("c:\\Kavrel\\Word-1.zip"), body);
}

TEST_F(PreparationTest, AFailedFetchStillShowsTheRequirements) {
    struct {
        int status;
        const char* why;
    } cases[] = {{404, "no such package"}, {500, "a server fault"}};
    win::Window& w = load();
    driver->pickItem(w.comboBox(k组合框_选择题型), 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        route("/Kavrel/Word-1.zip", [status = c.status](const HttpRequest&) {
            return tovren::testing::statusReply(status, {"Content-Length: 0"});
        });
        training->editBox(k编辑框1).setText("old");
        driver->pickItem(w.comboBox(k组合框_选择题目), 0);
        ASSERT_TRUE(waitIdle());
        EXPECT_FALSE(platform::pathExists("c:\\Kavrel\\Word-1.zip"));
        EXPECT_EQ(requirementText(), kWord1Text);
        EXPECT_TRUE(w.alwaysOnTop());
    }
}

TEST_F(PreparationTest, ASecondQuestionIsNotFetchedWhileAnEarlierFetchRuns) {
    std::string body = package("Word-1") + std::string(20000, 'x');
    // The answer waits for the test, not for a time: its head until the first wait has polled
    // once, the most of its body until the second wait has.
    auto head = std::make_shared<tovren::testing::Gate>();
    auto rest = std::make_shared<tovren::testing::Gate>();
    route("/Kavrel/Word-1.zip", [body, head, rest](const HttpRequest& r) {
        HttpReply reply = tovren::testing::fileReply(body, r);
        reply.holdHead = head;
        reply.holdAfter = 1000;
        reply.holdRest = rest;
        return reply;
    });
    win::Window& w = load();
    driver->pickItem(w.comboBox(k组合框_选择题型), 1);
    download->afterPoll = [&] { head->open(); };
    driver->pickItem(w.comboBox(k组合框_选择题目), 0);
    ASSERT_EQ(download->polls, std::vector<int32_t>{0}) << "the first wait ended at its first tick";
    ASSERT_TRUE(waitForBytes());

    download->polls.clear();
    download->afterPoll = [&] { rest->open(); };
    driver->pickItem(w.comboBox(k组合框_选择题目), 1);
    ASSERT_FALSE(download->added.empty());
    EXPECT_EQ(download->added.back().url, server.base() + "/Kavrel/Word-2.zip");
    EXPECT_FALSE(download->added.back().taken) << "refused: the earlier fetch still runs";
    ASSERT_GE(download->polls.size(), 2u) << "the window stayed while the earlier fetch received";
    EXPECT_GT(download->polls.front(), 0);
    EXPECT_EQ(download->polls.back(), 0);
    EXPECT_EQ(program.state.questionNumberText, "2");
    EXPECT_EQ(requirementText(), "插入表格\r\n");

    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(readFile("c:\\Kavrel\\Word-1.zip"), body);
    EXPECT_FALSE(platform::pathExists("c:\\Kavrel\\Word-2.zip"));
    EXPECT_EQ(requestsFor("/Kavrel/Word-2.zip"), 0u);
}

// The second fetch takes the first one's place once it is complete (the old one was kept aside
// meanwhile), so the package unpacked is always the latest and no "(1)" copies pile up.
TEST_F(PreparationTest, TheSameQuestionTwiceFetchesItAgainAndRebuildsTheText) {
    win::Window& w = load();
    driver->pickItem(w.comboBox(k组合框_选择题型), 1);
    for (int round = 0; round < 2; ++round) {
        serve("/Kavrel/Word-1.zip", package("round " + std::to_string(round)));
        driver->pickItem(w.comboBox(k组合框_选择题目), 0);
        ASSERT_TRUE(waitIdle());
        EXPECT_EQ(requirementText(), kWord1Text) << "rebuilt, not added to";
    }
    EXPECT_EQ(requestsFor("/Kavrel/Word-1.zip"), 2u);
    EXPECT_EQ(readFile("c:\\Kavrel\\Word-1.zip"), package("round 1"));
    EXPECT_FALSE(platform::pathExists("c:\\Kavrel\\Word-1(1).zip"));
    driver->click(w.button(k打开考试文件夹));
    EXPECT_EQ(readFile("c:\\Kavrel\\Word-1\\说明.txt"), "read me round 1") << "the latest is unpacked";
    EXPECT_FALSE(platform::pathExists(exam::setAsidePath("c:\\Kavrel\\Word-1.zip"))) << "the old one is gone";
}

TEST_F(PreparationTest, ThePlaceholderQuestionBeforeAnyTypeAsksForDashZero) {
    win::Window& w = load();
    driver->pickItem(w.comboBox(k组合框_选择题目), 0);
    EXPECT_EQ(program.state.questionLabel, "选择题目");
    EXPECT_EQ(program.state.requirementKey, "选择题目");
    EXPECT_EQ(program.state.questionNumberText, "0");
    ASSERT_FALSE(download->added.empty());
    EXPECT_EQ(download->added.back().url, server.base() + "/Kavrel/-0.zip");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(requestsFor("/Kavrel/-0.zip"), 1u);
    EXPECT_EQ(requirementText(), "占位\r\n") << "the requirements of the key 选择题目";
}

TEST_F(PreparationTest, TheFolderButtonBeforeAnyChoiceCreatesNothingAndStillExplores) {
    win::Window& w = load();
    std::set<std::string> before = examFolderListing();
    driver->click(w.button(k打开考试文件夹));
    EXPECT_EQ(examFolderListing(), before) << "c:\\Kavrel\\-.zip does not exist: nothing is made";
    EXPECT_EQ(driver->shellCalls(), std::vector<std::string>{"explore|c:\\Kavrel"});

    driver->pickItem(w.comboBox(k组合框_选择题型), 1);  // a type, still no question
    driver->click(w.button(k打开考试文件夹));
    EXPECT_EQ(examFolderListing(), before);
    EXPECT_EQ(driver->shellCalls(), (std::vector<std::string>{"explore|c:\\Kavrel", "explore|c:\\Kavrel"}));
}

TEST_F(PreparationTest, AChangedTypeUnpacksTheLastNumberOfTheNewType) {
    win::Window& w = load();
    auto& types = w.comboBox(k组合框_选择题型);
    auto& questions = w.comboBox(k组合框_选择题目);
    driver->pickItem(types, 2);  // Excel, question 2
    driver->pickItem(questions, 1);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(requirementText(), "求和\r\n排序\r\n画图\r\n");
    driver->pickItem(types, 1);  // Word, question 2
    driver->pickItem(questions, 1);
    ASSERT_TRUE(waitIdle());

    driver->pickItem(types, 2);  // back to Excel, no question chosen
    EXPECT_EQ(program.state.questionNumberText, "2");
    driver->click(w.button(k打开考试文件夹));
    EXPECT_EQ(readFile("c:\\Kavrel\\Excel-2\\说明.txt"), "read me Excel-2");
    EXPECT_FALSE(platform::pathExists("c:\\Kavrel\\Word-2"));

    driver->pickItem(types, 3);  // PowerPoint: no PowerPoint-2.zip, only the folder opens
    driver->click(w.button(k打开考试文件夹));
    EXPECT_FALSE(platform::pathExists("c:\\Kavrel\\PowerPoint-2"));
    EXPECT_EQ(driver->shellCalls(), (std::vector<std::string>{"explore|c:\\Kavrel", "explore|c:\\Kavrel"}));
}

}  // namespace
}  // namespace tovren::ui::testing

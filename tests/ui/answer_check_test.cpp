// The button "检查答案": the requirements box marked line by line, on every backend.
#include "ui/answer_check.h"

#include "exam/set_aside.h"
#include "ui/question_fixture.h"

namespace tovren::ui::testing {
namespace {

using AnswerCheckTest = QuestionTest;

constexpr std::string_view kCheckedCatalogue =
    "[题目数量]\r\nWord题数量=2\r\n"
    "[操作要求]\r\nWord第1题=打开文件~把表格复制到 备份 文件夹~写一段话\r\nWord第2题=插入表格\r\n"
    "[自动检查]\r\nWord第1题=exists 说明.txt~same 备份\\表.csv 数据/表.csv\r\n";

TEST_F(AnswerCheckTest, MarksTheLinesBeforeAndAfterTheWork) {
    serve("/Kavrel/config.txt", *platform::utf8ToGbk(kCheckedCatalogue));
    win::Window& w = load();
    driver->pickItem(w.comboBox(k组合框_选择题型), 1);
    driver->pickItem(w.comboBox(k组合框_选择题目), 0);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(requirementText(), "打开文件\r\n把表格复制到 备份 文件夹\r\n写一段话\r\n");

    // Not unpacked yet: one plain line, and nothing is made.
    driver->click(w.button(k检查答案));
    EXPECT_EQ(requirementText(),
              "打开文件\r\n把表格复制到 备份 文件夹\r\n写一段话\r\n"
              "本题的考试文件夹还不存在，请先点“打开考试文件夹”。\r\n");
    EXPECT_FALSE(platform::pathExists("c:\\Kavrel\\Word-1"));

    driver->click(w.button(k打开考试文件夹));
    driver->click(w.button(k检查答案));
    EXPECT_EQ(requirementText(),
              "√ 打开文件\r\n× 把表格复制到 备份 文件夹\r\n  写一段话\r\n"
              "检查了 2 项要求，已完成 1 项。\r\n");

    // The student copies the table; a second press sees it.
    ASSERT_TRUE(platform::createFolder("c:\\Kavrel\\Word-1\\备份"));
    auto copy =
        platform::File::open("c:\\Kavrel\\Word-1\\备份\\表.csv", platform::File::Mode::CreateNew);
    ASSERT_TRUE(copy);
    std::string table = readFile("c:\\Kavrel\\Word-1\\数据\\表.csv");
    ASSERT_TRUE(copy->write(table.data(), static_cast<int64_t>(table.size())));
    copy->close();
    driver->click(w.button(k检查答案));
    EXPECT_EQ(requirementText(),
              "√ 打开文件\r\n√ 把表格复制到 备份 文件夹\r\n  写一段话\r\n"
              "检查了 2 项要求，已完成 2 项。\r\n");
    EXPECT_EQ(readFile("c:\\Kavrel\\Word-1\\备份\\表.csv"), table)
        << "nothing the student made is changed";
}

TEST_F(AnswerCheckTest, AnotherTypeChosenAfterwardsStillChecksTheQuestionShown) {
    serve("/Kavrel/config.txt", *platform::utf8ToGbk(kCheckedCatalogue));
    win::Window& w = load();
    driver->pickItem(w.comboBox(k组合框_选择题型), 1);
    driver->pickItem(w.comboBox(k组合框_选择题目), 0);
    ASSERT_TRUE(waitIdle());
    driver->click(w.button(k打开考试文件夹));
    driver->pickItem(w.comboBox(k组合框_选择题型),
                     2);  // Excel: the box still shows Word's first question
    driver->click(w.button(k检查答案));
    EXPECT_EQ(requirementText(),
              "√ 打开文件\r\n× 把表格复制到 备份 文件夹\r\n  写一段话\r\n"
              "检查了 2 项要求，已完成 1 项。\r\n");
}

TEST_F(AnswerCheckTest, ChecksComeFromTheKeptCatalogueWhileNoFreshOneHasArrived) {
    serve("/Kavrel/config.txt", *platform::utf8ToGbk(kCheckedCatalogue));
    win::Window& w = load();
    // As after a start with the server away: only yesterday's catalogue, set aside, is there.
    ASSERT_TRUE(exam::setAside(exam::cataloguePath()));
    ASSERT_FALSE(platform::pathExists(exam::cataloguePath()));
    driver->pickItem(w.comboBox(k组合框_选择题型), 1);
    driver->pickItem(w.comboBox(k组合框_选择题目), 0);
    ASSERT_TRUE(waitIdle());
    driver->click(w.button(k打开考试文件夹));
    driver->click(w.button(k检查答案));
    EXPECT_EQ(requirementText(),
              "√ 打开文件\r\n× 把表格复制到 备份 文件夹\r\n  写一段话\r\n"
              "检查了 2 项要求，已完成 1 项。\r\n");
}

TEST_F(AnswerCheckTest, AQuestionWithoutChecksSaysSo) {
    serve("/Kavrel/config.txt", *platform::utf8ToGbk(kCheckedCatalogue));
    win::Window& w = load();
    driver->click(w.button(k检查答案));
    EXPECT_EQ(requirementText(), "本题没有自动检查。\r\n") << "before any choice";
    driver->pickItem(w.comboBox(k组合框_选择题型), 1);
    driver->pickItem(w.comboBox(k组合框_选择题目), 1);
    ASSERT_TRUE(waitIdle());
    driver->click(w.button(k打开考试文件夹));
    driver->click(w.button(k检查答案));
    EXPECT_EQ(requirementText(), "插入表格\r\n本题没有自动检查。\r\n");
}

TEST_F(AnswerCheckTest, TheButtonSitsLeftOfTheTypeListAndTakesTheFocus) {
    win::Window& w = load();
    auto& button = w.button(k检查答案);
    auto& types = w.comboBox(k组合框_选择题型);
    EXPECT_TRUE(button.visible());
    EXPECT_EQ(button.width(), 80);
    EXPECT_EQ(button.height(), 20);
    EXPECT_EQ(button.top(), types.top()) << "in the row of the lists";
    EXPECT_EQ(types.left() - button.left(), 229 - 140);
    driver->focusOn(button);
    EXPECT_TRUE(button.hasFocus());
}

}  // namespace
}  // namespace tovren::ui::testing

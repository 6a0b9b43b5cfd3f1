#include "catalogue/catalogue.h"

#include <gtest/gtest.h>
#include <limits>

#include "support/scratch.h"

namespace tovren::catalogue {
namespace {

using testing::ScratchFolder;

std::string fixture(std::string_view name) {
    return std::string(TOVREN_FIXTURES) + "/catalogue/" + std::string(name);
}

// The same catalogue saved three ways reads the same.
class BasicCatalogue : public ::testing::TestWithParam<const char*> {
  protected:
    Catalogue book{fixture(GetParam())};
};

INSTANTIATE_TEST_SUITE_P(Encodings, BasicCatalogue,
                         ::testing::Values("basic-gbk.ini", "basic-utf8-bom.ini",
                                           "basic-utf8.ini"));

TEST_P(BasicCatalogue, QuestionCounts) {
    struct {
        const char* type;
        int32_t expected;
        const char* why;
    } cases[] = {
        {"Word", 3, "plain"},
        {"word", 3, "the type matches without regard to case"},
        {"Excel", 5, "a full-width digit with blanks around ="},
        {"PowerPoint", 2, "plain"},
        {"FrontPage", 0, "zero"},
        {"Flash", -1, "negative"},
        {"PhotoShop", 0, "letters only"},
        {"Windows", 12, "a number followed by a Chinese character"},
        {"选择题型", 0, "the placeholder type has no count"},
        {"", 0, "no type chosen"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(book.questionCount(c.type), c.expected) << c.type;
    }
}

TEST_P(BasicCatalogue, RequirementTexts) {
    struct {
        const char* key;
        std::string expected;
        const char* why;
    } cases[] = {
        {"Word第1题", "将标题设置为黑体、二号、居中\r\n正文首行缩进2字符\r\n保存文档\r\n",
         "three lines"},
        {"Word第3题", "设置页边距：上下2.5厘米\r\n", "quotes around the value go"},
        {"Excel第1题", "计算\"总分\"列\r\n按总分降序排序\r\n",
         "quotes inside stay; the blank rest after the last tilde is no line"},
        {"Excel第3题", "在A1单元格输入“成绩表”\r\n\r\n合并A1:F1\r\n",
         "an empty piece is an empty line"},
        {"Excel第2题", "", "a missing key"},
        {"选择题目", "", "the placeholder question"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(book.requirementText(c.key), c.expected);
    }
}

TEST(Catalogue, MissingFileReadsAsEmpty) {
    ScratchFolder dir;
    Catalogue book(dir / "config.ini");
    EXPECT_EQ(book.questionCount("Word"), 0);
    EXPECT_EQ(book.requirementText("Word第1题"), "");
    EXPECT_TRUE(book.requirements("Word第1题").empty());
}

TEST(Catalogue, IsReadAnewAtEveryLookup) {
    ScratchFolder dir;
    Catalogue book(dir / "config.ini");
    EXPECT_EQ(book.questionCount("Word"), 0);
    dir.writeFile("config.ini",
                  "[\xCC\xE2\xC4\xBF\xCA\xFD\xC1\xBF]\r\nWord\xCC\xE2\xCA\xFD\xC1\xBF=4\r\n");
    EXPECT_EQ(book.questionCount("Word"), 4);
    dir.writeFile("config.ini",
                  "[\xCC\xE2\xC4\xBF\xCA\xFD\xC1\xBF]\r\nWord\xCC\xE2\xCA\xFD\xC1\xBF=7\r\n");
    EXPECT_EQ(book.questionCount("Word"), 7);
}

TEST(Catalogue, ValuesAreCutAtTheLimitOfTheirGbkBytes) {
    ScratchFolder dir;
    const std::string section = "[\xB2\xD9\xD7\xF7\xD2\xAA\xC7\xF3]\r\n";  // [操作要求]
    std::string ascii(kValueLimit + 100, 'a');
    std::string wide = "ab";  // then double-byte characters: the limit falls inside one
    while (wide.size() < kValueLimit + 100) wide += "\xD6\xD0";
    dir.writeFile("config.ini", section + "A=" + ascii + "\r\nB=" + wide + "\r\n");
    Catalogue book(dir / "config.ini");
    EXPECT_EQ(book.valueGbk(kRequirementSection, "A").size(), kValueLimit);
    std::string cut = book.valueGbk(kRequirementSection, "B");
    EXPECT_EQ(cut.size(), kValueLimit - 1) << "half a character is never kept";
    EXPECT_EQ(cut.substr(cut.size() - 2), "\xD6\xD0");

    // A UTF-8 catalogue is limited by the GBK form of its value: 3 UTF-8 bytes make 2 GBK ones.
    std::string utf8Value;
    for (size_t i = 0; i < kValueLimit; ++i) utf8Value += "中";
    dir.writeFile("utf8.ini", "[操作要求]\nB=" + utf8Value + "\n");
    std::string fromUtf8 = Catalogue(dir / "utf8.ini").valueGbk(kRequirementSection, "B");
    EXPECT_EQ(fromUtf8.size(), kValueLimit - 1);
}

TEST(Catalogue, Utf8ValuesWithoutGbkFormKeepTheirPlace) {
    ScratchFolder dir;
    dir.writeFile("config.ini", "[操作要求]\nWord第1题=插入😀表情~完成\n");
    EXPECT_EQ(Catalogue(dir / "config.ini").requirementText("Word第1题"), "插入?表情\r\n完成\r\n");
}

TEST(Catalogue, LargeFilesAreReadInPiecesWithoutLosingLines) {
    ScratchFolder dir;
    const std::string section = "[\xB2\xD9\xD7\xF7\xD2\xAA\xC7\xF3]\r\n";  // [操作要求]
    // A line far longer than one read, then many short ones, then the key on the very last line
    // without a line break.
    std::string file = section + "Long=" + std::string(300000, 'x') + "\r\n";
    for (int i = 0; i < 20000; ++i) {
        const std::string n = std::to_string(i);
        file.append("K").append(n).append("=v").append(n).append("\r\n");
    }
    file += "Last=a~b";
    dir.writeFile("config.ini", file);
    Catalogue book(dir / "config.ini");
    EXPECT_EQ(book.requirementText("Last"), "a\r\nb\r\n");
    EXPECT_EQ(book.requirementText("K19999"), "v19999\r\n");
    EXPECT_EQ(book.valueGbk(kRequirementSection, "Long").size(), kValueLimit);
}

TEST(Catalogue, TheEncodingIsSettledByTheWholeFile) {
    ScratchFolder dir;
    // Valid UTF-8 up to the last line, which holds a GBK byte pair: the file is GBK, so the
    // UTF-8 spelling of the section is not found and the GBK one is.
    std::string utf8Part = "[操作要求]\nA=1\n";
    std::string gbkPart = "[\xB2\xD9\xD7\xF7\xD2\xAA\xC7\xF3]\nA=2\n";
    dir.writeFile("mixed.ini", utf8Part + std::string(100000, ';') + "\n" + gbkPart);
    EXPECT_EQ(Catalogue(dir / "mixed.ini").requirementText("A"), "2\r\n");
    // The same file without the GBK part is UTF-8.
    dir.writeFile("utf8.ini", utf8Part + std::string(100000, ';') + "\n");
    EXPECT_EQ(Catalogue(dir / "utf8.ini").requirementText("A"), "1\r\n");
    // ASCII alone: read as GBK, which reads ASCII the same.
    dir.writeFile("ascii.ini", "[s]\nk=v\n");
    EXPECT_EQ(Catalogue(dir / "ascii.ini").valueGbk("s", "k"), "v");
}

TEST(QuestionList, LabelsAndValues) {
    std::vector<QuestionItem> three = questionList(3);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(three[0].label, "第1题");
    EXPECT_EQ(three[0].value, 1);
    EXPECT_EQ(three[2].label, "第3题");
    EXPECT_EQ(three[2].value, 3);
    EXPECT_EQ(questionList(12)[11].label, "第12题");
    EXPECT_TRUE(questionList(0).empty());
    EXPECT_TRUE(questionList(-2).empty());
    EXPECT_TRUE(questionList(std::numeric_limits<int32_t>::min()).empty());
    // A count far beyond any bank gives the longest list, not an endless one.
    std::vector<QuestionItem> most = questionList(std::numeric_limits<int32_t>::max());
    ASSERT_EQ(most.size(), static_cast<size_t>(kMostQuestions));
    EXPECT_EQ(most.back().label, "第9999题");
    EXPECT_EQ(most.back().value, 9999);
}

}  // namespace
}  // namespace tovren::catalogue

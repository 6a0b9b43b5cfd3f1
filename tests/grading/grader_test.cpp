#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>

#include "grading/grader.h"
#include "grading/office_builder.h"
#include "grading/package.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/scratch.h"

namespace tovren::grading {
namespace {

using testing::ScratchFolder;

const std::vector<std::string> kRequirements = {"新建文件夹 资料", "把 a.txt 复制到 资料", "写一首诗",
                                                "删除 旧.txt"};

TEST(Grader, MarksEachLineAndCounts) {
    ScratchFolder scratch;
    scratch.writeFile("Windows-1\\a.txt", "A");
    scratch.writeFile("Windows-1\\资料\\.keep", "");
    scratch.writeFile("Windows-1\\旧.txt", "old");
    scratch.writeFile("Windows-1.zip", zip::zipArchive({{.name = "a.txt", .data = "A"}}));
    std::vector<std::string> checks = {"folder 资料", "same 资料\\a.txt a.txt", "", "absent 旧.txt"};
    QuestionResult r = gradeQuestion(kRequirements, checks, placeOfFolder(scratch / "Windows-1"));
    EXPECT_EQ(r.state, QuestionResult::State::Graded);
    EXPECT_EQ(r.checked, 3);
    EXPECT_EQ(r.met, 1);
    EXPECT_EQ(markedText(r),
              "√ 新建文件夹 资料\r\n× 把 a.txt 复制到 资料\r\n  写一首诗\r\n× 删除 旧.txt\r\n"
              "检查了 3 项要求，已完成 1 项。\r\n");

    // The student does the rest.
    scratch.writeFile("Windows-1\\资料\\a.txt", "A");
    ASSERT_TRUE(platform::deleteFile(scratch / "Windows-1\\旧.txt"));
    r = gradeQuestion(kRequirements, checks, placeOfFolder(scratch / "Windows-1\\"));
    EXPECT_EQ(markedText(r),
              "√ 新建文件夹 资料\r\n√ 把 a.txt 复制到 资料\r\n  写一首诗\r\n√ 删除 旧.txt\r\n"
              "检查了 3 项要求，已完成 3 项。\r\n");
}

TEST(Grader, MalformedChecksAndExtraChecks) {
    ScratchFolder scratch;
    scratch.writeFile("Windows-1\\a.txt", "A");
    // A malformed check marks its line only; a check beyond the last requirement is ignored.
    QuestionResult r = gradeQuestion({"一", "二"}, {"exist a.txt", "exists a.txt", "exists b.txt"},
                                     placeOfFolder(scratch / "Windows-1"));
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0].mark, Mark::NotMet);
    EXPECT_NE(r.lines[0].why.find("malformed"), std::string::npos);
    EXPECT_EQ(r.lines[1].mark, Mark::Met);
    EXPECT_EQ(r.checked, 2);
    EXPECT_EQ(r.met, 1);
}

TEST(Grader, NoChecksOrNoFolderGetOnePlainLine) {
    ScratchFolder scratch;
    QuestionResult none = gradeQuestion({"一", "二"}, {"", "  "}, placeOfFolder(scratch / "Windows-1"));
    EXPECT_EQ(none.state, QuestionResult::State::NoChecks);
    EXPECT_EQ(markedText(none), "一\r\n二\r\n本题没有自动检查。\r\n");
    EXPECT_EQ(markedText(gradeQuestion({"一"}, {}, placeOfFolder(scratch / "Windows-1"))),
              "一\r\n本题没有自动检查。\r\n");

    QuestionResult noFolder = gradeQuestion({"一"}, {"exists a.txt"}, placeOfFolder(scratch / "Windows-1"));
    EXPECT_EQ(noFolder.state, QuestionResult::State::NoFolder);
    EXPECT_EQ(markedText(noFolder), "一\r\n本题的考试文件夹还不存在，请先点“打开考试文件夹”。\r\n");
    EXPECT_FALSE(platform::pathExists(scratch / "Windows-1")) << "nothing is created";
}

TEST(Grader, ChecksComeFromTheCatalogueSplitLikeTheRequirements) {
    ScratchFolder scratch;
    std::string ini = "[操作要求]\r\nWord第1题=甲~乙~丙\r\n[自动检查]\r\nWord第1题=exists 甲.docx~~para 甲.docx \"春天\" size = 二号\r\n";
    scratch.writeFile("config.ini", *platform::utf8ToGbk(ini));
    catalogue::Catalogue catalogue(scratch / "config.ini");
    EXPECT_EQ(questionChecks(catalogue, "Word第1题"),
              (std::vector<std::string>{"exists 甲.docx", "", "para 甲.docx \"春天\" size = 二号"}));
    EXPECT_TRUE(questionChecks(catalogue, "Word第2题").empty());
}

// Files that are no valid documents: each line is "×" and nothing else fails.
TEST(Grader, BrokenDocumentsMarkTheirLineOnly) {
    ScratchFolder scratch;
    std::string good = testing::docxBytes("<w:p><w:r><w:t>春天</w:t></w:r></w:p>");
    scratch.writeFile("Word-1\\改名的.docx", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(4000, '\0'));
    scratch.writeFile("Word-1\\半截.docx", good.substr(0, good.size() / 2));
    scratch.writeFile("Word-1\\空.docx", "");
    scratch.writeFile("Word-1\\坏的.docx", testing::docxBytes("<w:p><w:r><w:t>春天</w:r></w:p>"));
    // Bombs: a part that inflates far beyond what any document holds, its size declared as it
    // is, or declared small.
    std::string huge(kPartLimit + 1024 * 1024, ' ');
    std::string bomb = zip::zipArchive({
        {.name = "_rels/.rels", .data = testing::rootRelationships("word/document.xml")},
        {.name = "word/document.xml", .data = huge},
    });
    scratch.writeFile("Word-1\\假大小.docx", zip::zipArchive({
        {.name = "_rels/.rels", .data = testing::rootRelationships("word/document.xml")},
        {.name = "word/document.xml", .data = huge, .uncompressedSize = 100},
    }));
    huge.clear();
    huge.shrink_to_fit();
    EXPECT_LT(bomb.size(), 100u * 1024);
    scratch.writeFile("Word-1\\炸弹.docx", bomb);
    scratch.writeFile("Word-1\\好的.docx", good);
    // Nesting far beyond any document: walked only so deep.
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<w:sdt>";
    deep += "<w:p><w:r><w:t>春天</w:t></w:r></w:p>";
    for (int i = 0; i < 200000; ++i) deep += "</w:sdt>";
    scratch.writeFile("Word-1\\深.docx", testing::docxBytes(deep));
    std::vector<std::string> files = {"改名的", "半截", "空", "坏的", "炸弹", "好的", "文件夹", "假大小", "深"};
    scratch.writeFile("Word-1\\文件夹.docx\\x", "");
    std::vector<std::string> requirements, checks;
    for (const auto& f : files) {
        requirements.push_back(f);
        checks.push_back("para " + f + ".docx 春天 bold = no");
    }
    QuestionResult r = gradeQuestion(requirements, checks, placeOfFolder(scratch / "Word-1"));
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i] + ": " + r.lines[i].why);
        EXPECT_EQ(r.lines[i].mark, files[i] == "好的" ? Mark::Met : Mark::NotMet);
    }
    EXPECT_NE(r.lines[4].why.find("too large"), std::string::npos) << r.lines[4].why;
}

TEST(Grader, ReadsADocumentThatAnotherProgramKeepsOpen) {
    ScratchFolder scratch;
    scratch.writeFile("Excel-1\\表.xlsx", testing::xlsxBytes({{"Sheet1", R"(<row r="1"><c r="A1"><v>5</v></c></row>)"}}));
    QuestionPlace place = placeOfFolder(scratch / "Excel-1");
#ifdef _WIN32
    // Excel keeps the workbook open for reading and writing and lets others only read it. A second
    // open must ask no access the first one's sharing refuses, and must share the access the first
    // one holds (CreateFileW, dwShareMode: learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-createfilew).
    std::u16string wide = platform::utf8ToUtf16(scratch / "Excel-1\\表.xlsx");
    HANDLE held = CreateFileW(reinterpret_cast<const wchar_t*>(wide.c_str()), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
#else
    auto held = platform::File::open(scratch / "Excel-1\\表.xlsx", platform::File::Mode::Read);
    ASSERT_TRUE(held);
#endif
    QuestionResult r = gradeQuestion({"A1 是 5"}, {"cell 表.xlsx A1 = 5"}, place);
    EXPECT_EQ(r.met, 1) << r.lines[0].why;
#ifdef _WIN32
    CloseHandle(held);
#endif
}

}  // namespace
}  // namespace tovren::grading

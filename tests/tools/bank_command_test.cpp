// The bank command in process: a source round-trips through the catalogue reader and the
// client's extraction, and every refused source exits 1 with its reason and writes nothing.
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>

#include "bank_runner.h"
#include "captured_streams.h"
#include "catalogue/catalogue.h"
#include "fetch/extract.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/scratch.h"

namespace tovren::tool {
namespace {

namespace fs = std::filesystem;

// Everything below `root`: "/"-separated UTF-8 paths to file contents, or "<folder>".
std::map<std::string, std::string> treeOf(const std::string& root) {
    std::map<std::string, std::string> tree;
    const fs::path base = testing::fsPath(root);
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(base)) {
        std::u8string relative = e.path().lexically_relative(base).generic_u8string();
        std::string key(relative.begin(), relative.end());
        std::ifstream in(e.path(), std::ios::binary);
        tree[key] =
            e.is_directory() ? "<folder>" : std::string(std::istreambuf_iterator<char>(in), {});
    }
    return tree;
}

class BankCommandTest : public ::testing::Test {
  protected:
    int run(const Arguments& args) {
        usage_.clear();
        return buildBank(args, streams_.out(), streams_.err(), usage_);
    }
    int build() {
        return run({platform::nativePath(source_.path()), platform::nativePath(out_.path())});
    }
    std::string served(std::string_view name) const {
        return out_ / ("Kavrel\\" + std::string(name));
    }

    // A source with two types, GBK and non-GBK names, a sub-folder and an empty folder.
    void writeGoodSource() {
        source_.writeFile("Word-1\\requirements.txt",
                          "打开“春.docx”\r\n将标题设为黑体、二号\r\n\r\n以原文件名保存\r\n\r\n");
        source_.writeFile("Word-1\\春.docx", std::string("PK\x03\x04 not really", 15));
        source_.writeFile("Word-1\\图片\\荷花.png",
                          std::string("\x89PNG\r\n\x1a\n", 8) + std::string(3000, 'x'));
        source_.writeFile("Word-2\\requirements.txt", "\xEF\xBB\xBF 以空格开头的一步\n\"引号\"");
        source_.writeFile("Word-2\\한국어.txt", "annyeong");
        fs::create_directories(testing::fsPath(source_ / "Word-2\\空文件夹"));
        source_.writeFile("Excel-1\\requirements.txt", "求和");
        source_.writeFile("Excel-1\\成绩表.xlsx", "");
        source_.writeFile("ITHelp.chm", "ITSF help");
    }

    testing::ScratchFolder source_, out_, streamsFolder_;
    testing::CapturedStreams streams_{streamsFolder_};
    std::string usage_;
};

TEST_F(BankCommandTest, AGoodSourceRoundTrips) {
    writeGoodSource();
    ASSERT_EQ(build(), 0) << streams_.errText();

    const catalogue::Catalogue book(served("config.txt"));
    EXPECT_EQ(book.questionCount("Word"), 2);
    EXPECT_EQ(book.questionCount("Excel"), 1);
    EXPECT_EQ(book.questionCount("Flash"), 0);
    using Lines = std::vector<std::string>;
    EXPECT_EQ(book.requirements("Word第1题"),
              (Lines{"打开“春.docx”", "将标题设为黑体、二号", "", "以原文件名保存"}))
        << "an empty line inside stays, empty lines at the end go";
    EXPECT_EQ(book.requirements("Word第2题"), (Lines{" 以空格开头的一步", "\"引号\""}))
        << "a leading blank and surrounding quotes survive the reader";
    EXPECT_EQ(book.requirements("Excel第1题"), (Lines{"求和"}));
    const std::string catalogueBytes = platform::readWholeFile(served("config.txt")).value();
    EXPECT_TRUE(catalogueBytes.starts_with(platform::utf8ToGbk("[题目数量]\r\n").value()))
        << "GBK, CR LF";

    for (const char* question : {"Word-1", "Word-2", "Excel-1"}) {
        SCOPED_TRACE(question);
        const std::string unpacked = out_ / (std::string("unpacked\\") + question);
        ASSERT_EQ(fetch::extractAll(served(std::string(question) + ".zip"), unpacked),
                  fetch::kExtractDone);
        std::map<std::string, std::string> expected = treeOf(source_ / question);
        expected.erase("requirements.txt");
        EXPECT_EQ(treeOf(unpacked), expected);
    }
    const std::string word1 = platform::readWholeFile(served("Word-1.zip")).value();
    EXPECT_NE(word1.find(platform::utf8ToGbk("图片/荷花.png").value()), std::string::npos)
        << "names in GBK";
    const std::string word2 = platform::readWholeFile(served("Word-2.zip")).value();
    EXPECT_NE(word2.find("한국어.txt"), std::string::npos) << "a name without a GBK form in UTF-8";
    EXPECT_EQ(platform::readWholeFile(served("ITHelp.chm")), "ITSF help");

    const std::string out = streams_.outText();
    EXPECT_NE(out.find("Word-1.zip\t"), std::string::npos) << out;
    EXPECT_NE(out.find("\t3 entries\t4 requirements\n"), std::string::npos)
        << "图片/, 荷花.png, 春.docx\n"
        << out;
    EXPECT_NE(out.find("config.txt\t3 questions\n"), std::string::npos) << out;
}

TEST_F(BankCommandTest, ABuildReplacesAnEarlierOne) {
    writeGoodSource();
    ASSERT_EQ(build(), 0);
    source_.writeFile("Excel-1\\requirements.txt", "新的要求");
    ASSERT_EQ(build(), 0) << streams_.errText();
    EXPECT_EQ(catalogue::Catalogue(served("config.txt")).requirements("Excel第1题"),
              std::vector<std::string>{"新的要求"});
    for (const fs::directory_entry& e : fs::directory_iterator(testing::fsPath(out_ / "Kavrel")))
        EXPECT_NE(e.path().extension(), ".part") << e.path();
}

TEST_F(BankCommandTest, RefusedSourcesWriteNothing) {
    struct Case {
        std::function<void(const testing::ScratchFolder&)> spoil;
        const char* message;
        const char* why;
    } const cases[] = {
        {[](auto& s) { s.writeFile("Word-1\\requirements.txt", "打开~保存"); },
         "Word-1/requirements.txt line 1: \"~\" separates the requirements",
         "a tilde in a requirement"},
        {[](auto& s) { s.writeFile("Excel-1\\requirements.txt", "求和\n画一个😀\n"); },
         "Excel-1/requirements.txt line 2: \"😀\" has no GBK form",
         "a requirement that cannot be encoded"},
        {[](auto& s) { s.writeFile("Excel-1\\requirements.txt", "\xC7\xF3\xBA\xCD"); },
         "Excel-1/requirements.txt is not UTF-8 text", "requirements written in GBK"},
        {[](auto& s) { s.writeFile("Word-1\\requirements.txt", "\n\n"); },
         "Word-1/requirements.txt holds no requirement", "no requirement"},
        {[](auto& s) { fs::remove(testing::fsPath(s / "Excel-1\\requirements.txt")); },
         "Excel-1/requirements.txt is missing", "no requirements file"},
        {[](auto& s) { s.writeFile("Excel-1\\requirements.txt", std::string(10240, 'a')); },
         "Excel-1: the requirements take 10240 bytes in GBK, more than the 10239",
         "a value over the limit"},
        {[](auto& s) { s.writeFile("word-3\\requirements.txt", "a"); },
         "\"word-3\" is not a question folder", "a type in the wrong case"},
        {[](auto& s) { s.writeFile("Word-03\\requirements.txt", "a"); },
         "\"Word-03\" is not a question folder", "a leading zero"},
        {[](auto& s) { s.writeFile("Notes\\requirements.txt", "a"); },
         "\"Notes\" is not a question folder", "a folder that is no question"},
        {[](auto& s) {
             s.writeFile("Word-4\\requirements.txt", "a");
             s.writeFile("Word-4\\a.txt", "a");
         },
         "Word-3 is missing: the questions of a type are numbered 1, 2, 3, ... without gaps",
         "a gap"},
        {[](auto& s) { s.writeFile("Excel-2\\requirements.txt", "a"); },
         "Excel-2 holds no exercise file", "an empty question"},
        {[](auto& s) { s.writeFile("Word-1\\checks.txt", "exist 春.docx"); },
         "Word-1/checks.txt line 1: unknown check \"exist\"", "a malformed check"},
        {[](auto& s) { s.writeFile("Word-1\\checks.txt", "exists 春.docx\nexists b.docx\n"); },
         "Word-1/checks.txt has 2 lines for 1 requirements", "more checks than requirements"},
        {[](auto& s) { s.writeFile("Word-1\\checks.txt", "exists a~b"); },
         "Word-1/checks.txt line 1: \"~\" separates the checks", "a tilde in a check"},
        {[](auto& s) { s.writeFile("Word-1\\checks.txt", "same 备份.docx 没有.docx"); },
         "Word-1 check 1: the package has no file 没有.docx", "a package file that is not there"},
        {[](auto& s) {
             s.writeFile("Word-1\\checks.txt", "exists 春.docx");
             s.writeFile("Word-1\\answer\\春.docx", "doc");
         },
         "Word-1 check 1: already met by the unsolved package", "a check that cannot fail"},
        {[](auto& s) {
             s.writeFile("Word-1\\checks.txt", "exists 诗.txt");
             s.writeFile("Word-1\\answer\\春.docx", "doc");
         },
         "Word-1 check 1: not met by answer/: 诗.txt does not exist", "a check the answer does not meet"},
#ifndef _WIN32  // Windows itself has no such file
        {[](auto& s) { s.writeFile("Word-1\\图片\\con.txt", "a"); },
         "Word-1/图片/con.txt: not a name the client unpacks", "a device name"},
        {[](auto& s) {
             s.writeFile("Word-1\\A.docx", "a");
             s.writeFile("Word-1\\a.docx", "a");
         },
         "differs only in case; Windows keeps one of them", "names that Windows takes for one"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        testing::ScratchFolder source, out, streamsFolder;
        testing::CapturedStreams streams(streamsFolder);
        source.writeFile("Word-1\\requirements.txt", "打开");
        source.writeFile("Word-1\\春.docx", "doc");
        source.writeFile("Word-2\\requirements.txt", "打开");
        source.writeFile("Word-2\\a.docx", "doc");
        source.writeFile("Excel-1\\requirements.txt", "求和");
        source.writeFile("Excel-1\\成绩表.xlsx", "xls");
        c.spoil(source);
        const std::string target = platform::nativePath(out / "server");
        std::string usage;
        EXPECT_EQ(buildBank({platform::nativePath(source.path()), target}, streams.out(),
                            streams.err(), usage),
                  1);
        EXPECT_NE(streams.errText().find(c.message), std::string::npos) << streams.errText();
        EXPECT_EQ(streams.outText(), "");
        EXPECT_FALSE(fs::exists(testing::fsPath(out / "server"))) << "nothing under OUT";
    }
}

// Checks go into the catalogue beside the requirements; checks.txt and answer/ stay out of the
// package, and each check is tried on the unsolved package and on the answer.
TEST_F(BankCommandTest, ChecksAreWrittenAndTried) {
    writeGoodSource();
    source_.writeFile("Word-1\\checks.txt", "\nsame 备份\\春.docx 春.docx; absent 草稿.txt\n\n");
    source_.writeFile("Word-1\\草稿.txt", "draft");
    source_.writeFile("Word-1\\answer\\春.docx", std::string("PK\x03\x04 not really", 15));
    source_.writeFile("Word-1\\answer\\备份\\春.docx", std::string("PK\x03\x04 not really", 15));
    source_.writeFile("Excel-1\\checks.txt", "formula 成绩表.xlsx \"成绩 表!C2\"");
    ASSERT_EQ(build(), 0) << streams_.errText();
    const catalogue::Catalogue book(served("config.txt"));
    EXPECT_EQ(book.valueGbk("自动检查", "Word第1题"),
              *platform::utf8ToGbk("~same 备份\\春.docx 春.docx; absent 草稿.txt"));
    EXPECT_EQ(book.valueGbk("自动检查", "Excel第1题"), *platform::utf8ToGbk("formula 成绩表.xlsx \"成绩 表!C2\""));
    EXPECT_EQ(book.valueGbk("自动检查", "Word第2题"), "") << "no checks, no key";
    EXPECT_NE(streams_.errText().find("Excel-1 no answer/ folder"), std::string::npos) << streams_.errText();
    EXPECT_EQ(streams_.errText().find("Word-1 no answer/"), std::string::npos) << streams_.errText();

    testing::ScratchFolder unpacked;
    ASSERT_EQ(fetch::extractAll(served("Word-1.zip"), unpacked / "Word-1"), fetch::kExtractDone);
    auto tree = treeOf(unpacked / "Word-1");
    EXPECT_FALSE(tree.contains("checks.txt"));
    EXPECT_FALSE(tree.contains("answer"));
    EXPECT_TRUE(tree.contains("草稿.txt"));
}

// A file that cannot take its final name leaves no temporary file and no catalogue behind.
TEST_F(BankCommandTest, AFailedWriteLeavesNoPartialFile) {
    writeGoodSource();
    fs::create_directories(testing::fsPath(out_ / "Kavrel\\config.txt\\in the way"));
    EXPECT_EQ(build(), 1);
    EXPECT_NE(streams_.errText().find("cannot write"), std::string::npos) << streams_.errText();
    for (const fs::directory_entry& e : fs::directory_iterator(testing::fsPath(out_ / "Kavrel")))
        EXPECT_NE(e.path().extension(), ".part") << e.path();
    EXPECT_TRUE(fs::is_directory(testing::fsPath(served("config.txt"))));
}

TEST_F(BankCommandTest, UsageErrorsAndAMissingSource) {
    EXPECT_EQ(run({}), kUsageError);
    EXPECT_EQ(run({"a"}), kUsageError);
    EXPECT_EQ(run({"a", "b", "c"}), kUsageError);
    EXPECT_NE(usage_.find("bank takes SOURCE and OUT"), std::string::npos);
    EXPECT_EQ(run({platform::nativePath(source_ / "none"), platform::nativePath(out_.path())}), 1);
    EXPECT_NE(streams_.errText().find("no folder"), std::string::npos) << streams_.errText();
}

}  // namespace
}  // namespace tovren::tool

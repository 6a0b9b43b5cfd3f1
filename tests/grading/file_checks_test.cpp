#include <gtest/gtest.h>

#include "grading/evaluate.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/scratch.h"
#include "support/zip_writer.h"

namespace tovren::grading {
namespace {

using testing::ScratchFolder;

struct Row {
    const char* check;
    bool met;
    const char* why;
};

class FileChecks : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch.writeFile("Windows-1\\作业.txt", "hello");
        scratch.writeFile("Windows-1\\备份\\作业.txt", "hello");
        scratch.writeFile("Windows-1\\改过.txt", "hellO");
        scratch.writeFile("Windows-1\\长.txt", "hello!");
        scratch.writeFile("Windows-1\\.隐藏.txt", "x");
        scratch.writeFile("Windows-1\\只读.txt", "x");
        scratch.writeFile("Windows-1\\空文件夹\\.keep", "");
        scratch.writeFile("Windows-1\\图.txt", "picture");
        ASSERT_TRUE(platform::setHiddenReadOnly(scratch / "Windows-1\\只读.txt", false, true));
        scratch.writeFile("Windows-1.zip", zip::zipArchive({{.name = "作业.txt", .data = "hello", .flags = zip::kUtf8Flag},
                                                             {.name = *platform::utf8ToGbk("素材\\图.txt"), .data = "picture"}}));
        place = {scratch / "Windows-1", scratch / "Windows-1.zip"};
    }
    void TearDown() override { platform::setHiddenReadOnly(scratch / "Windows-1\\只读.txt", false, false); }

    void expectRows(const std::vector<Row>& rows) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.why) + ": " + row.check);
            ParsedCheck parsed = parseCheck(row.check);
            ASSERT_TRUE(parsed.check) << parsed.error;
            Outcome outcome = evaluateCheck(*parsed.check, place);
            EXPECT_EQ(outcome.met, row.met) << outcome.why;
            if (!outcome.met) {
                EXPECT_FALSE(outcome.why.empty());
            }
        }
    }

    ScratchFolder scratch;
    QuestionPlace place;
};

TEST_F(FileChecks, FilesAndFolders) {
    expectRows({
        {"exists 作业.txt", true, "a file"},
        {"exists 空文件夹", true, "a folder exists too"},
        {"exists 没有.txt", false, "missing"},
        {"absent 没有.txt", true, "absent"},
        {"absent 作业.txt", false, "still there"},
        {"folder 空文件夹", true, "a folder"},
        {"folder 作业.txt", false, "a file is no folder"},
        {"folder 没有", false, "missing"},
        {"hidden .隐藏.txt", true, "hidden"},
        {"hidden 作业.txt", false, "not hidden"},
        {"readonly 只读.txt", true, "read-only"},
        {"readonly 作业.txt", false, "writable"},
        {"readonly 没有.txt", false, "missing is not read-only"},
        {"size 作业.txt = 5", true, "exact size"},
        {"size 长.txt > 5", true, "larger"},
        {"size 作业.txt > 5", false, "not larger"},
        {"size 作业.txt <= 5", true, "at most"},
        {"size 空文件夹 = 0", false, "a folder has no size"},
        {"same 作业.txt 作业.txt", true, "the package's copy, unchanged"},
        {"same 备份\\作业.txt 作业.txt", true, "copied into a folder"},
        {"same 改过.txt 作业.txt", false, "one byte differs"},
        {"same 长.txt 作业.txt", false, "one byte longer"},
        {"same 图.txt 素材/图.txt", true, "a GBK entry name with a backslash, as the package holds it"},
        {"same 作业.txt 没有.txt", false, "no such entry in the package"},
        {"same 空文件夹 作业.txt", false, "a folder is no copy"},
        {"exists 作业.txt; folder 空文件夹; absent 没有", true, "every clause holds"},
        {"exists 作业.txt; folder 作业.txt", false, "one clause fails"},
    });
}

TEST_F(FileChecks, HiddenAttributeAsWindowsSetsIt) {
#ifdef _WIN32
    // The attribute Explorer's "Hidden" box sets (SetFileAttributesW, FILE_ATTRIBUTE_HIDDEN).
    ASSERT_TRUE(platform::setHiddenReadOnly(scratch / "Windows-1\\作业.txt", true, false));
    expectRows({{"hidden 作业.txt", true, "the hidden attribute"}});
    ASSERT_TRUE(platform::setHiddenReadOnly(scratch / "Windows-1\\作业.txt", false, false));
    expectRows({{"hidden 作业.txt", false, "cleared again"}});
#else
    EXPECT_FALSE(platform::setHiddenReadOnly(scratch / "Windows-1\\作业.txt", true, false))
        << "POSIX hides only names that begin with a dot";
#endif
}

TEST_F(FileChecks, MissingOrBrokenPackage) {
    place.package = scratch / "no-such.zip";
    expectRows({{"same 作业.txt 作业.txt", false, "no package"}});
    scratch.writeFile("broken.zip", "PK\x03\x04 not really");
    place.package = scratch / "broken.zip";
    expectRows({{"same 作业.txt 作业.txt", false, "a broken package"}});
}

TEST_F(FileChecks, NothingIsCreatedWhenTheFolderIsMissing) {
    place = {scratch / "Windows-2", scratch / "Windows-2.zip"};
    expectRows({{"absent 作业.txt", true, "nothing there"}, {"exists 作业.txt", false, "nothing there"}});
    EXPECT_FALSE(platform::pathExists(scratch / "Windows-2"));
}

}  // namespace
}  // namespace tovren::grading

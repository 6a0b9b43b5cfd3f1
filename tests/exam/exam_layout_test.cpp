#include "exam/exam_layout.h"

#include <gtest/gtest.h>

#include "exam/training_state.h"
#include "platform/files.h"
#include "support/scratch.h"

namespace tovren::exam {
namespace {

const std::string kServer(kServerBase);

TEST(ExamLayout, AddressesAndPaths) {
    struct {
        std::string actual;
        std::string expected;
        const char* why;
    } cases[] = {
        {catalogueAddress(), kServer + "/Kavrel/config.txt", "catalogue address"},
        {cataloguePath(), "c:\\Kavrel\\config.ini", "catalogue path"},
        {packageAddress("Excel", "3"), kServer + "/Kavrel/Excel-3.zip", "package address"},
        {packagePath("Excel", "3"), "c:\\Kavrel\\Excel-3.zip", "package path"},
        {unpackFolder("Excel", "3"), "c:\\Kavrel\\Excel-3", "unpack folder, no trailing backslash"},
        {packageDownloadTarget(), "c:\\Kavrel\\", "a package is fetched into the folder"},
        {helpAddress(), kServer + "/Kavrel/ITHelp.chm", "help address"},
        {helpPath(), "c:\\Kavrel\\ITHelp.chm", "help path"},
        {loginAddress(), std::string(kTestingSiteBase) + "/passport/login", "login page"},
        {packagePath("Word", ""), "c:\\Kavrel\\Word-.zip", "no question chosen yet"},
        {unpackFolder("Word", ""), "c:\\Kavrel\\Word-", "no question chosen yet"},
        {packageAddress("", "2"), kServer + "/Kavrel/-2.zip", "no type chosen yet"},
        {packagePath("", ""), "c:\\Kavrel\\-.zip", "nothing chosen"},
        {packageAddress("选择题型", "0"), kServer + "/Kavrel/选择题型-0.zip",
         "the placeholders; nothing is percent-encoded"},
        {catalogueAddress("http://127.0.0.1:9"), "http://127.0.0.1:9/Kavrel/config.txt", "another server"},
        {packageAddress("Word", "1", "http://127.0.0.1:9"), "http://127.0.0.1:9/Kavrel/Word-1.zip", "another server"},
        {helpAddress("http://127.0.0.1:9"), "http://127.0.0.1:9/Kavrel/ITHelp.chm", "another server"},
        {loginAddress("http://127.0.0.1:9"), "http://127.0.0.1:9/passport/login", "another testing site"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(c.actual, c.expected);
    }
}

TEST(ExamLayout, FolderInBothForms) {
    EXPECT_EQ(kExamFolder, "c:\\Kavrel");
    EXPECT_EQ(kExamFolderPrefix, "c:\\Kavrel\\");
}

TEST(ExamLayout, DefaultServerIsTheLocalDemo) {
    // The demo server is what a build without settings talks to; a release build sets its own.
    std::string_view base = kServerBase;
    EXPECT_TRUE(base.starts_with("http://"));
    EXPECT_EQ(base.find('/', 7), std::string_view::npos) << "scheme and host only";
}

#ifndef _WIN32
// Natively the drive lives in a scratch folder; under Wine c:\Kavrel is shared by the window
// tests, so this runs natively only.
TEST(ExamLayout, EnsureExamFolder) {
    testing::ScratchFolder drive;
    platform::setDriveRoot(drive.path());
    platform::createFolder(drive / "c");

    exam::ensureExamFolder();
    EXPECT_TRUE(platform::isDirectory(kExamFolder)) << "made when missing";
    drive.writeFile("c/Kavrel/Word-1.zip", "keep");
    exam::ensureExamFolder();
    EXPECT_EQ(drive.readFile("c/Kavrel/Word-1.zip"), "keep") << "an existing folder is left as it is";

    testing::ScratchFolder other;
    platform::setDriveRoot(other.path());
    other.writeFile("c/Kavrel", "a plain file");
    exam::ensureExamFolder();  // tries to make the folder and fails without a word
    EXPECT_FALSE(platform::isDirectory(kExamFolder));
    EXPECT_EQ(other.readFile("c/Kavrel"), "a plain file");
}
#endif

TEST(TrainingState, StartsEmpty) {
    TrainingState state;
    EXPECT_EQ(state.typeText, "");
    EXPECT_EQ(state.questionCount, 0);
    EXPECT_EQ(state.questionLabel, "");
    EXPECT_EQ(state.requirementKey, "");
    EXPECT_EQ(state.questionNumberText, "");
}

}  // namespace
}  // namespace tovren::exam

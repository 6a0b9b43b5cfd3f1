#include "app/exam_layout.h"

#include <gtest/gtest.h>

#include "app/training_state.h"

namespace tovren::app {
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
        {catalogueAddress("http://10.0.0.5:81"), "http://10.0.0.5:81/Kavrel/config.txt",
         "catalogue address on another server"},
        {packageAddress("http://10.0.0.5:81", "Word", "12"), "http://10.0.0.5:81/Kavrel/Word-12.zip",
         "package address on another server"},
        {helpAddress("http://10.0.0.5:81"), "http://10.0.0.5:81/Kavrel/ITHelp.chm",
         "help address on another server"},
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
    EXPECT_TRUE(kServerBase.starts_with("http://"));
    EXPECT_EQ(kServerBase.find('/', 7), std::string_view::npos) << "scheme and host only";
}

TEST(TrainingState, StartsEmpty) {
    TrainingState state;
    EXPECT_EQ(state.typeText, "");
    EXPECT_EQ(state.questionCount, 0);
    EXPECT_EQ(state.questionLabel, "");
    EXPECT_EQ(state.requirementKey, "");
    EXPECT_EQ(state.questionNumberText, "");
}

}  // namespace
}  // namespace tovren::app

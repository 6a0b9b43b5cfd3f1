// The download service's temporary names and the removal of what killed runs left behind.
#include "fetch/temporary_files.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>

#include "platform/files.h"
#include "support/scratch.h"

namespace tovren::fetch {
namespace {

namespace fs = std::filesystem;
using testing::ScratchFolder;

TEST(TemporaryFiles, NamesOfOurOwnFormOnly) {
    const struct {
        const char* name;
        bool ours;
        const char* why;
    } cases[] = {
        {"~tvr0123abcd.tmp", true, "the form the service writes"},
        {"~tvrffffffff.tmp", true, "every digit a letter"},
        {"~tvr0123ABCD.tmp", false, "upper-case digits are never written"},
        {"~TVR0123abcd.tmp", false, "another prefix's case"},
        {"~tvr0123abc.tmp", false, "seven digits"},
        {"~tvr0123abcde.tmp", false, "nine digits"},
        {"~tvr0123abcg.tmp", false, "not hexadecimal"},
        {"~tvr0123abcd.TMP", false, "another extension's case"},
        {"~tvr0123abcd.tmp.zip", false, "a longer name"},
        {"x~tvr0123abcd.tmp", false, "something before the prefix"},
        {"~WRL0001.tmp", false, "Word's own temporary file"},
        {"~$Word-1.docx", false, "an Office owner file"},
        {"", false, "no name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(isTemporaryDownloadName(c.name), c.ours) << c.name;
    }
    for (int i = 0; i < 100; ++i) EXPECT_TRUE(isTemporaryDownloadName(temporaryDownloadName()));
}

std::set<std::string> namesIn(const ScratchFolder& folder) {
    std::set<std::string> names;
    for (const fs::directory_entry& e :
         fs::recursive_directory_iterator(testing::fsPath(folder.path()))) {
        std::u8string relative =
            e.path().lexically_relative(testing::fsPath(folder.path())).generic_u8string();
        names.emplace(relative.begin(), relative.end());
    }
    return names;
}

TEST(TemporaryFiles, OnlyOurOwnLeftoversThatNoOneHoldsGo) {
    ScratchFolder dir;
    dir.writeFile("~tvr0123abcd.tmp", std::string(1000, '\0'));  // a killed run's, pre-sized
    dir.writeFile("~tvr00000000.tmp", "");
    // A leftover made as the service makes them (hidden on Windows), then closed.
    ASSERT_TRUE(
        platform::File::open(dir / "~tvr11111111.tmp", platform::File::Mode::CreateNewTemporary));
    // A running copy's download in progress.
    std::optional<platform::File> held =
        platform::File::open(dir / "~tvr22222222.tmp", platform::File::Mode::CreateNewTemporary);
    ASSERT_TRUE(held);
    dir.writeFile("Word-1.zip", "package");
    dir.writeFile("~tvrnotes.tmp", "the student's");
    dir.writeFile("~WRL0001.tmp", "Word's");
    dir.writeFile("Word-1/~tvr33333333.tmp", "only the exam folder itself is cleaned");
    fs::create_directory(testing::fsPath(dir / "~tvr44444444.tmp"));

    EXPECT_EQ(removeLeftoverDownloads(dir.path()), 3);
    const std::set<std::string> kept = {"~tvr22222222.tmp", "Word-1.zip", "~tvrnotes.tmp",
                                        "~WRL0001.tmp",     "Word-1",     "Word-1/~tvr33333333.tmp",
                                        "~tvr44444444.tmp"};
    EXPECT_EQ(namesIn(dir), kept);

    // Once its writer has closed it, the last one is a leftover too.
    held.reset();
    EXPECT_EQ(removeLeftoverDownloads(dir.path()), 1);
    EXPECT_FALSE(platform::pathExists(dir / "~tvr22222222.tmp"));
    EXPECT_EQ(removeLeftoverDownloads(dir.path()), 0);
}

#ifndef _WIN32
// A link that carries our name is no leftover of ours, and what it points to is never touched.
TEST(TemporaryFiles, ALinkWithOurNameStays) {
    ScratchFolder dir, elsewhere;
    elsewhere.writeFile("precious.docx", "the student's work");
    fs::create_symlink(testing::fsPath(elsewhere / "precious.docx"), testing::fsPath(dir / "~tvr55555555.tmp"));
    EXPECT_EQ(removeLeftoverDownloads(dir.path()), 0);
    EXPECT_TRUE(fs::is_symlink(testing::fsPath(dir / "~tvr55555555.tmp")));
    EXPECT_EQ(elsewhere.readFile("precious.docx"), "the student's work");
}
#endif

TEST(TemporaryFiles, AMissingFolderHasNoLeftovers) {
    ScratchFolder dir;
    EXPECT_EQ(removeLeftoverDownloads(dir / "missing"), 0);
    EXPECT_EQ(removeLeftoverDownloads(""), 0);
}

}  // namespace
}  // namespace tovren::fetch

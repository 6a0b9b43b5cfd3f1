#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/scratch.h"

namespace tovren::platform {
namespace {

using testing::ScratchFolder;
namespace fs = std::filesystem;

#ifdef _WIN32
constexpr char kSep = '\\';
#else
constexpr char kSep = '/';
#endif

TEST(Files, ExistenceIsForExactNamesOnly) {
    ScratchFolder dir;
    dir.writeFile("config.ini", "x");
    fs::create_directory(testing::fsPath(dir / "Word-1"));
    struct {
        std::string path;
        bool exists;
        const char* why;
    } cases[] = {
        {dir / "config.ini", true, "a file"},
        {dir / "Word-1", true, "a folder"},
        {dir.path(), true, "the scratch folder itself"},
        {dir / "Word-1" + "\\", false, "a path ending in a backslash never exists"},
        {dir / "Word-1" + "/", false, "nor one ending in a slash"},
        {dir / "config.*", false, "a wildcard names nothing exactly"},
        {dir / "config.in?", false, "nor does a question mark"},
        {dir / "missing.ini", false, "nothing there"},
        {"", false, "empty text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(pathExists(c.path), c.exists) << c.path;
    }
}

TEST(Files, DeleteRemovesFilesOnly) {
    ScratchFolder dir;
    dir.writeFile("a.txt", "x");
    fs::create_directory(testing::fsPath(dir / "sub"));
    EXPECT_TRUE(deleteFile(dir / "a.txt"));
    EXPECT_FALSE(pathExists(dir / "a.txt"));
    EXPECT_FALSE(deleteFile(dir / "a.txt"));
    EXPECT_FALSE(deleteFile(dir / "sub"));
    EXPECT_TRUE(isDirectory(dir / "sub"));
}

TEST(Files, DeleteRemovesAReadOnlyFileToo) {
    // The old catalogue and package are deleted so that they are fetched anew; a read-only
    // copy must not survive that on one system and not on the other.
    ScratchFolder dir;
    dir.writeFile("config.ini", "old");
    fs::permissions(testing::fsPath(dir / "config.ini"), fs::perms::owner_write,
                    fs::perm_options::remove);
    EXPECT_TRUE(deleteFile(dir / "config.ini"));
    EXPECT_FALSE(pathExists(dir / "config.ini"));
}

TEST(Files, CreateFolderMakesOneLevel) {
    ScratchFolder dir;
    EXPECT_TRUE(createFolder(dir / "Kavrel"));
    EXPECT_TRUE(isDirectory(dir / "Kavrel"));
    EXPECT_FALSE(createFolder(dir / "Kavrel"));          // already there
    EXPECT_FALSE(createFolder(dir / "a" + kSep + "b"));  // two levels
    EXPECT_FALSE(pathExists(dir / "a"));
    dir.writeFile("plain", "x");
    EXPECT_FALSE(createFolder(dir / "plain"));  // a file stands there
    EXPECT_FALSE(isDirectory(dir / "plain"));
}

TEST(Files, NormalAttributesMakeAReadOnlyFileWritable) {
    ScratchFolder dir;
    dir.writeFile("r.txt", "old");
    fs::permissions(testing::fsPath(dir / "r.txt"), fs::perms::owner_write,
                    fs::perm_options::remove);
    EXPECT_TRUE(setNormalAttributes(dir / "r.txt"));
    auto file = File::open(dir / "r.txt", File::Mode::CreateAlways);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->write("new", 3));
    file->close();
    EXPECT_EQ(dir.readFile("r.txt"), "new");
    EXPECT_FALSE(setNormalAttributes(dir / "missing"));
}

TEST(Files, CreateNewNeverReplaces) {
    ScratchFolder dir;
    dir.writeFile("taken.zip", "keep");
    EXPECT_FALSE(File::open(dir / "taken.zip", File::Mode::CreateNew));
    EXPECT_EQ(dir.readFile("taken.zip"), "keep");
    auto file = File::open(dir / "new.zip", File::Mode::CreateNew);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->resize(6));
    EXPECT_TRUE(file->writeAt(3, "def", 3));
    EXPECT_TRUE(file->writeAt(0, "abc", 3));
    EXPECT_EQ(file->size(), 6);
    file->close();
    EXPECT_EQ(dir.readFile("new.zip"), "abcdef");
}

TEST(Files, OpenRefusesFoldersAndMissingFiles) {
    ScratchFolder dir;
    EXPECT_FALSE(File::open(dir.path(), File::Mode::Read));
    EXPECT_FALSE(File::open(dir / "missing", File::Mode::Read));
    EXPECT_FALSE(File::open(dir / "no" + kSep + "folder.txt", File::Mode::CreateAlways));
    EXPECT_FALSE(File::open(dir.path() + kSep, File::Mode::CreateAlways));
}

TEST(Files, ReadWholeFileAndRename) {
    ScratchFolder dir;
    std::string bytes(100000, 'q');
    bytes[5] = '\0';
    dir.writeFile("big.bin", bytes);
    EXPECT_EQ(readWholeFile(dir / "big.bin"), bytes);
    EXPECT_EQ(readWholeFile(dir / "missing"), std::nullopt);
    dir.writeFile("taken", "t");
    EXPECT_FALSE(renameNoReplace(dir / "big.bin", dir / "taken"));
    EXPECT_EQ(dir.readFile("taken"), "t");
    EXPECT_TRUE(renameNoReplace(dir / "big.bin", dir / "moved.bin"));
    EXPECT_FALSE(pathExists(dir / "big.bin"));
    EXPECT_EQ(dir.readFile("moved.bin"), bytes);
}

TEST(Files, GbkNamedFilesGoThroughUnicode) {
    ScratchFolder dir;
    auto file = File::open(dir / "试题 一.txt", File::Mode::CreateNew);
    ASSERT_TRUE(file);
    file->close();
    EXPECT_TRUE(pathExists(dir / "试题 一.txt"));
    EXPECT_TRUE(fs::exists(testing::fsPath(dir / "试题 一.txt")));
}

#ifndef _WIN32
TEST(Files, ProgramPathsMapToNativeOnes) {
    setDriveRoot("/srv/drives");
    EXPECT_EQ(nativePath("c:\\Kavrel\\Word-1.zip"), "/srv/drives/c/Kavrel/Word-1.zip");
    EXPECT_EQ(nativePath("C:\\Kavrel"), "/srv/drives/c/Kavrel");
    EXPECT_EQ(nativePath("\\tmp\\x"), "/tmp/x");
    EXPECT_EQ(nativePath("/tmp/x"), "/tmp/x");
    EXPECT_EQ(nativePath("rel\\a"), "rel/a");
    ScratchFolder root;
    setDriveRoot(root.path());
    std::filesystem::create_directory(root / "c");
    EXPECT_FALSE(isDirectory("c:\\Kavrel"));
    EXPECT_TRUE(createFolder("c:\\Kavrel"));
    EXPECT_TRUE(isDirectory(root / "c/Kavrel"));
}
#endif

}  // namespace
}  // namespace tovren::platform

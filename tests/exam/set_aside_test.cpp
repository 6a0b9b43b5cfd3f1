#include "exam/set_aside.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>

#include "platform/files.h"
#include "support/scratch.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tovren::exam {
namespace {

namespace fs = std::filesystem;
using testing::ScratchFolder;

// What the student sees of a folder: the file manager leaves out hidden files (Windows: the
// hidden attribute; elsewhere: a name beginning with ".").
bool hiddenFromTheStudent(const fs::path& entry) {
#ifdef _WIN32
    DWORD a = GetFileAttributesW(entry.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_HIDDEN);
#else
    return entry.filename().string().starts_with(".");
#endif
}

std::set<std::string> visibleNames(const ScratchFolder& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(testing::fsPath(folder.path())))
        if (!hiddenFromTheStudent(e.path())) names.insert(e.path().filename().string());
    return names;
}

std::set<std::string> allNames(const ScratchFolder& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(testing::fsPath(folder.path())))
        names.insert(e.path().filename().string());
    return names;
}

TEST(SetAside, TheCopysName) {
    struct {
        std::string path, expected;
        const char* why;
    } cases[] = {
        {"c:\\Kavrel\\config.ini", "c:\\Kavrel\\.config.ini.last", "the catalogue"},
        {"c:\\Kavrel\\Word-1.zip", "c:\\Kavrel\\.Word-1.zip.last",
         "a package: no longer a .zip, so not among the packages"},
        {"c:\\Kavrel\\-.zip", "c:\\Kavrel\\.-.zip.last", "no type or number chosen"},
        {"/tmp/x/Excel-2.zip", "/tmp/x/.Excel-2.zip.last", "a native path"},
        {"config.ini", ".config.ini.last", "no folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(setAsidePath(c.path), c.expected);
    }
}

// What stands at the file's place and at its copy's place, before and after.
enum class Here { Nothing, OldFile, NewFile, Folder };

TEST(SetAside, MovesTheFileAsideKeepingOneCopy) {
    struct {
        Here file, copy;
        bool result;
        Here fileAfter, copyAfter;
        const char* why;
    } cases[] = {
        {Here::NewFile, Here::Nothing, true, Here::Nothing, Here::NewFile, "the usual start"},
        {Here::NewFile, Here::OldFile, true, Here::Nothing, Here::NewFile,
         "an older copy is replaced: one copy, never more"},
        {Here::Nothing, Here::OldFile, true, Here::Nothing, Here::OldFile,
         "yesterday's fetch failed: the copy from before is kept"},
        {Here::Nothing, Here::Nothing, true, Here::Nothing, Here::Nothing,
         "nothing to keep, nothing made"},
        {Here::NewFile, Here::Folder, false, Here::NewFile, Here::Folder,
         "the copy cannot be made: the file stays where it is"},
        {Here::Folder, Here::Nothing, false, Here::Folder, Here::Nothing,
         "a folder is never set aside"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        ScratchFolder dir;
        const std::string file = dir / "config.ini", copy = setAsidePath(file);
        auto make = [&](std::string_view name, Here what) {
            if (what == Here::Folder) fs::create_directory(testing::fsPath(dir / name));
            if (what == Here::OldFile) dir.writeFile(name, "old");
            if (what == Here::NewFile) dir.writeFile(name, "new");
        };
        make("config.ini", c.file);
        make(".config.ini.last", c.copy);
        EXPECT_EQ(setAside(file), c.result);
        auto check = [&](const std::string& path, Here what) {
            switch (what) {
                case Here::Nothing:
                    EXPECT_FALSE(platform::pathExists(path)) << path;
                    break;
                case Here::Folder:
                    EXPECT_TRUE(platform::isDirectory(path)) << path;
                    break;
                case Here::OldFile:
                    EXPECT_EQ(platform::readWholeFile(path).value_or("?"), "old") << path;
                    break;
                case Here::NewFile:
                    EXPECT_EQ(platform::readWholeFile(path).value_or("?"), "new") << path;
                    break;
            }
        };
        check(file, c.fileAfter);
        check(copy, c.copyAfter);
        EXPECT_LE(allNames(dir).size(), 2u) << "nothing else appeared";
        if (c.copyAfter == Here::NewFile || c.copyAfter == Here::OldFile) {
            EXPECT_TRUE(hiddenFromTheStudent(testing::fsPath(copy)));
        }
    }
}

TEST(SetAside, TheCopyIsOutOfTheStudentsWay) {
    ScratchFolder dir;
    dir.writeFile("Word-1.zip", "package");
    dir.writeFile("config.ini", "catalogue");
    fs::create_directory(testing::fsPath(dir / "Word-1"));
    ASSERT_TRUE(setAside(dir / "Word-1.zip"));
    ASSERT_TRUE(setAside(dir / "config.ini"));
    EXPECT_EQ(visibleNames(dir), std::set<std::string>{"Word-1"})
        << "only the question folder is listed";
    EXPECT_EQ(allNames(dir),
              (std::set<std::string>{"Word-1", ".Word-1.zip.last", ".config.ini.last"}));
}

TEST(SetAside, TheLatestCopyToRead) {
    struct {
        bool fresh, copy;
        bool readsCopy, copyKept;
        const char* why;
    } cases[] = {
        {true, true, false, false, "the fresh file has arrived: it is read, the old copy dropped"},
        {false, true, true, true, "no fresh file: the copy set aside is read"},
        {true, false, false, false, "no copy: the file itself"},
        {false, false, false, false, "neither: the missing file, read as nothing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        ScratchFolder dir;
        const std::string file = dir / "Word-1.zip", copy = setAsidePath(file);
        if (c.fresh) dir.writeFile("Word-1.zip", "fresh");
        if (c.copy) dir.writeFile(".Word-1.zip.last", "old");
        EXPECT_EQ(latestCopy(file), c.readsCopy ? copy : file);
        EXPECT_EQ(platform::pathExists(copy), c.copyKept);
        EXPECT_EQ(platform::readWholeFile(file).value_or("<missing>"),
                  c.fresh ? "fresh" : "<missing>")
            << "the fresh file is never touched";
    }
}

TEST(SetAside, AFolderAtTheCopysPlaceIsNeverRead) {
    ScratchFolder dir;
    fs::create_directory(testing::fsPath(dir / ".config.ini.last"));
    EXPECT_EQ(latestCopy(dir / "config.ini"), dir / "config.ini");
    EXPECT_TRUE(platform::isDirectory(dir / ".config.ini.last")) << "and never removed";
}

#ifndef _WIN32
// A folder the program may not write to: nothing moves, and the file stays readable where it
// was. (Root writes anywhere, so the case says nothing there.)
TEST(SetAside, AReadOnlyFolderLeavesTheFileWhereItIs) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write to a read-only folder";
    ScratchFolder dir;
    dir.writeFile("config.ini", "old");
    fs::permissions(testing::fsPath(dir.path()), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_FALSE(setAside(dir / "config.ini"));
    fs::permissions(testing::fsPath(dir.path()), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(dir.readFile("config.ini"), "old");
    EXPECT_FALSE(platform::pathExists(dir / ".config.ini.last"));
}
#endif

}  // namespace
}  // namespace tovren::exam

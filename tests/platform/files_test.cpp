#include "platform/files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "support/scratch.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/wide.h"
#endif

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

// Puts a BusyRetry in place for one test and the old one back at its end.
class BusyRetryScope {
  public:
    explicit BusyRetryScope(BusyRetry retry) : old_(setBusyRetry(std::move(retry))) {}
    ~BusyRetryScope() { setBusyRetry(std::move(old_)); }

  private:
    BusyRetry old_;
};

TEST(Files, BusyAttemptsAreRetriedUntilTheLimitHasBeenWaited) {
    struct {
        int busyTimes;          // busy answers before the final one (-1: busy for ever)
        Attempt finally;
        int32_t limitMs, stepMs;
        bool done;
        std::vector<int32_t> waits;
        const char* why;
    } cases[] = {
        {0, Attempt::Done, 2000, 50, true, {}, "done at once: no wait"},
        {0, Attempt::Failed, 2000, 50, false, {}, "a final refusal fails at once"},
        {3, Attempt::Done, 2000, 50, true, {50, 50, 50}, "a scanner lets go after three steps"},
        {2, Attempt::Failed, 2000, 50, false, {50, 50}, "busy, then refused for good: no more waiting"},
        {-1, Attempt::Busy, 200, 50, false, {50, 50, 50, 50}, "busy for ever: fails once the limit is waited"},
        {-1, Attempt::Busy, 120, 50, false, {50, 50, 20}, "the last step is cut to the limit"},
        {4, Attempt::Done, 200, 50, true, {50, 50, 50, 50}, "the attempt after the last wait still counts"},
        {1, Attempt::Done, 0, 50, false, {}, "no limit: a busy file fails at once"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<int32_t> waits;
        BusyRetryScope scope({c.limitMs, c.stepMs, [&waits](int32_t ms) { waits.push_back(ms); }});
        int calls = 0;
        bool done = retryWhileBusy([&] {
            ++calls;
            return c.busyTimes < 0 || calls <= c.busyTimes ? Attempt::Busy : c.finally;
        });
        EXPECT_EQ(done, c.done);
        EXPECT_EQ(waits, c.waits);
        EXPECT_EQ(calls, static_cast<int>(c.waits.size()) + 1) << "one attempt before each wait and one after";
    }
}

TEST(Files, TheDefaultRetryWaitsAboutTwoSeconds) {
    std::vector<int32_t> waits;
    BusyRetry retry;
    EXPECT_EQ(retry.limitMs, 2000);
    retry.sleep = [&waits](int32_t ms) { waits.push_back(ms); };
    BusyRetryScope scope(std::move(retry));
    EXPECT_FALSE(retryWhileBusy([] { return Attempt::Busy; }));
    int32_t total = 0;
    for (int32_t ms : waits) total += ms;
    EXPECT_EQ(total, 2000);
    EXPECT_GE(waits.size(), 10u) << "short steps, so a file let go early is taken early";
}

#ifdef _WIN32
using Clock = std::chrono::steady_clock;

int64_t msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Another opener of the file (a scanner) with the given sharing, let go after `holdMs`
// (negative: at the end of the scope).
class FileHolder {
  public:
    FileHolder(const std::string& path, DWORD share, int holdMs) {
        handle_ = CreateFileW(widen(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ != INVALID_HANDLE_VALUE && holdMs >= 0)
            letGo_ = std::thread([this, holdMs] {
                std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
                CloseHandle(handle_);
            });
    }
    ~FileHolder() {
        if (letGo_.joinable())
            letGo_.join();
        else if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    bool holds() const { return handle_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::thread letGo_;
};

constexpr DWORD kNoDeleteSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

TEST(FilesBusy, ARenameWaitsForAScannerThatHoldsTheFile) {
    ScratchFolder dir;
    dir.writeFile("x.tmp", "package");
    {
        // Without waiting, the system refuses the rename while the file is held.
        FileHolder scanner(dir / "x.tmp", kNoDeleteSharing, -1);
        ASSERT_TRUE(scanner.holds());
        EXPECT_FALSE(MoveFileExW(widen(dir / "x.tmp").c_str(), widen(dir / "Word-1.zip").c_str(), 0));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    FileHolder scanner(dir / "x.tmp", kNoDeleteSharing, 300);
    ASSERT_TRUE(scanner.holds());
    auto start = Clock::now();
    EXPECT_TRUE(renameNoReplace(dir / "x.tmp", dir / "Word-1.zip"));
    int64_t waited = msSince(start);
    EXPECT_GE(waited, 250) << "it was renamed only once the scanner let go";
    EXPECT_LT(waited, 2000) << "and soon after, not at the end of the limit";
    EXPECT_EQ(dir.readFile("Word-1.zip"), "package");
    EXPECT_FALSE(pathExists(dir / "x.tmp"));
}

TEST(FilesBusy, ACreateWaitsForAFileHeldWithoutSharing) {
    ScratchFolder dir;
    dir.writeFile("a.doc", "old");
    {
        FileHolder scanner(dir / "a.doc", 0, -1);
        ASSERT_TRUE(scanner.holds());
        HANDLE h = CreateFileW(widen(dir / "a.doc").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    FileHolder scanner(dir / "a.doc", 0, 300);
    ASSERT_TRUE(scanner.holds());
    auto start = Clock::now();
    auto file = File::open(dir / "a.doc", File::Mode::CreateAlways);
    int64_t waited = msSince(start);
    ASSERT_TRUE(file);
    EXPECT_GE(waited, 250);
    EXPECT_LT(waited, 2000);
    EXPECT_TRUE(file->write("new", 3));
    file->close();
    EXPECT_EQ(dir.readFile("a.doc"), "new");
}

TEST(FilesBusy, APermanentRefusalStillFailsAfterAboutTwoSeconds) {
    ScratchFolder dir;
    dir.writeFile("x.tmp", "package");
    dir.writeFile("held.doc", "old");
    FileHolder renameBlocker(dir / "x.tmp", kNoDeleteSharing, -1);
    FileHolder createBlocker(dir / "held.doc", 0, -1);
    ASSERT_TRUE(renameBlocker.holds() && createBlocker.holds());

    auto start = Clock::now();
    EXPECT_FALSE(renameNoReplace(dir / "x.tmp", dir / "Word-1.zip"));
    int64_t waited = msSince(start);
    EXPECT_GE(waited, 1900);
    EXPECT_LT(waited, 8000) << "it gives up, however long the file stays held";
    EXPECT_EQ(dir.readFile("x.tmp"), "package");
    EXPECT_FALSE(pathExists(dir / "Word-1.zip"));

    start = Clock::now();
    EXPECT_FALSE(File::open(dir / "held.doc", File::Mode::CreateAlways));
    waited = msSince(start);
    EXPECT_GE(waited, 1900);
    EXPECT_LT(waited, 8000);
}

TEST(FilesBusy, AnExistingTargetIsNotWaitedFor) {
    ScratchFolder dir;
    dir.writeFile("x.tmp", "new");
    dir.writeFile("Word-1.zip", "old");
    std::filesystem::create_directory(testing::fsPath(dir / "Word-1"));
    int waits = 0;
    BusyRetryScope scope({2000, 50, [&waits](int32_t) { ++waits; }});
    struct {
        bool result;
        const char* why;
    } cases[] = {
        {renameNoReplace(dir / "x.tmp", dir / "Word-1.zip"), "a rename onto an existing file"},
        {renameNoReplace(dir / "x.tmp", dir / "Word-1"), "a rename onto an existing folder"},
        {File::open(dir / "Word-1.zip", File::Mode::CreateNew).has_value(), "a new file where one exists"},
        {File::open(dir / "Word-1", File::Mode::CreateNew).has_value(), "a new file where a folder exists"},
        {renameNoReplace(dir / "missing", dir / "Word-2.zip"), "nothing to rename"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_FALSE(c.result);
    }
    EXPECT_EQ(waits, 0) << "none of these is a file held for a moment";
    EXPECT_EQ(dir.readFile("Word-1.zip"), "old");
    EXPECT_EQ(dir.readFile("x.tmp"), "new");
}
#endif

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

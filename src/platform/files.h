#pragma once
// Files on program paths. A program path is a Windows-style UTF-8 text ("c:\Kavrel\Word-1.zip").
// On Windows it goes to the wide API as it stands. Elsewhere it is mapped: "\" becomes "/",
// a drive path "c:\..." lives under the drive root ("<root>/c/..."), a rooted path "\tmp\x" or
// "/tmp/x" is the native "/tmp/x", and a relative path stays relative.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovren::platform {

// True for an existing file or folder named exactly by the path; never for a path that ends in
// a separator or holds a wildcard.
bool pathExists(std::string_view path);
bool isDirectory(std::string_view path);
// Removes a file; a folder is never removed (false).
bool deleteFile(std::string_view path);
// Makes one folder level; false when it cannot be made or something already stands there.
bool createFolder(std::string_view path);
// Clears read-only, hidden and system attributes, so the file is plain and writable.
bool setNormalAttributes(std::string_view path);
// Keeps the file out of the folder's ordinary listing: the hidden attribute on Windows; elsewhere
// a name that begins with "." is what hides a file, and this only says whether the file exists.
bool setHidden(std::string_view path);
// Renames a file; false, touching nothing, when `to` already exists. A file held open for a
// moment is waited for (BusyRetry).
bool renameNoReplace(std::string_view from, std::string_view to);
// Removes a file that no process holds open (for a file of File::Mode::CreateNewTemporary: no
// process still writing it); false, touching nothing, when one does or it cannot be removed.
bool deleteFileNotHeldOpen(std::string_view path);
// The names of the plain files directly in a folder (no folders, no links); empty when it cannot
// be read.
std::vector<std::string> fileNamesIn(std::string_view folder);
// The whole file, or nothing when it cannot be opened or read.
std::optional<std::string> readWholeFile(std::string_view path);

// On Windows a virus scanner or the search indexer opens a fresh file for a moment, and a create
// or rename that meets it fails with a sharing violation or access denied. Those two are tried
// again, a step at a time, until `limitMs` has been waited; only then do they count as failed.
// Any other refusal ("already exists" included) fails at once.
struct BusyRetry {
    int32_t limitMs = 2000;
    int32_t stepMs = 50;
    // Waits `ms`; when empty the thread sleeps. Tests shorten or count the waits.
    std::function<void(int32_t ms)> sleep;
};
// Sets how creates and renames wait for a busy file; returns the setting it replaces.
BusyRetry setBusyRetry(BusyRetry retry);

enum class Attempt { Done, Busy, Failed };
// Runs `attempt` until it is done or has failed, or has stayed busy past the limit of the
// current BusyRetry; true when it was done.
bool retryWhileBusy(const std::function<Attempt()>& attempt);

// What the file manager shows of a file or folder. Without Windows attributes (POSIX), a name
// that begins with "." is hidden and a file without the owner's write permission is read-only.
struct FileFacts {
    bool folder = false;
    bool hidden = false;
    bool readOnly = false;
    int64_t size = 0;  // files only
};
std::optional<FileFacts> fileFacts(std::string_view path);
// Sets or clears the hidden and read-only attributes (POSIX: read-only only; false when asked
// to hide a name that does not begin with ".").
bool setHiddenReadOnly(std::string_view path, bool hidden, bool readOnly);

// The native form of a program path (the identity on Windows).
std::string nativePath(std::string_view path);
// Where drive paths live on builds without drive letters; from TOVREN_DRIVE_ROOT, else
// "/tmp/tovren-drives". Windows ignores it.
void setDriveRoot(std::string nativeFolder);

// An open file. Moves, never copies; closes itself.
class File {
  public:
    enum class Mode {
        Read,          // existing file, reading only
        CreateNew,     // a new file; fails when anything exists at the path (a busy file is waited for)
        CreateAlways,  // a new file, or an existing one truncated (a busy file is waited for)
        // A new file that stands for work in progress: hidden on Windows, and seen as held open
        // by deleteFileNotHeldOpen for as long as it is open. A refused name is not waited for.
        CreateNewTemporary,
    };

    File() = default;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    static std::optional<File> open(std::string_view path, Mode mode);

    // Bytes read (0 at the end), or -1 on an error.
    int64_t read(void* buffer, int64_t size);
    // True when every byte was written.
    bool write(const void* data, int64_t size);
    bool writeAt(int64_t offset, const void* data, int64_t size);
    bool seek(int64_t offset);
    int64_t tell() const;
    std::optional<int64_t> size() const;
    bool resize(int64_t size);
    bool close();
    bool isOpen() const;

  private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    int64_t position_ = 0;
};

}  // namespace tovren::platform

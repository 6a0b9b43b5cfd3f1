#pragma once
// A ZIP file read for checking: a question's package, or an Office document (whose parts are
// ZIP entries). Every read is bounded, so a damaged file or a ZIP bomb costs at most a few
// megabytes and ends as a refusal. The file is opened with read, write and delete sharing, so
// Word or Excel may keep it open meanwhile.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovren::grading {

// The largest part read into memory: far above any document part a student makes.
inline constexpr size_t kPartLimit = 16 * 1024 * 1024;
// Entries looked through at most; a central directory beyond this is no document of ours.
inline constexpr int kMostEntries = 65536;

enum class ReadResult { Ok, Missing, TooLarge, Damaged };

class Package {
  public:
    // Null when the file is missing or is no ZIP archive.
    static std::unique_ptr<Package> open(std::string_view path);
    ~Package();
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    // Entry names as UTF-8 with "/" separators (GBK unless the entry carries the UTF-8 flag);
    // nothing when the central directory cannot be read.
    std::optional<std::vector<std::string>> entryNames();
    // One entry's bytes; names compare without regard to ASCII case or the kind of separator.
    ReadResult read(std::string_view name, std::string& bytes, size_t limit = kPartLimit);
    // Whether the entry holds exactly the bytes of the file at `path` (read in pieces); nothing
    // when the entry is missing or damaged or the file cannot be read.
    std::optional<bool> sameBytes(std::string_view name, std::string_view path);

  private:
    explicit Package(void* archive) : archive_(archive) {}
    bool locate(std::string_view name);
    void* archive_;
};

// Compares entry and path names: "/" and "\" alike, ASCII letters in either case.
bool sameEntryName(std::string_view a, std::string_view b);

}  // namespace tovren::grading

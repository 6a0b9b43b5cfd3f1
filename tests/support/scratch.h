#pragma once
// A fresh folder for one test, removed with everything in it at the end. Its path is a program
// path (what the code under test takes): a temporary folder of the system.
#include <filesystem>
#include <string>
#include <string_view>

namespace tovren::testing {

// The std::filesystem form of a program path, for setting up and checking fixtures.
std::filesystem::path fsPath(std::string_view programPath);

class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder's program path, without a trailing separator.
    const std::string& path() const { return path_; }
    // path() + separator + relative ("a\b" is taken as it stands).
    std::string operator/(std::string_view relative) const;

    // Writes bytes to a file below the folder (folders made as needed).
    void writeFile(std::string_view relative, std::string_view bytes) const;
    std::string readFile(std::string_view relative) const;

  private:
    std::string path_;
};

}  // namespace tovren::testing

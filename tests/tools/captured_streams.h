#pragma once
// A command's standard output and error as files in a scratch folder, read back after it ran.
#include <cstdio>
#include <string>

#include "support/scratch.h"

namespace tovren::testing {

class CapturedStreams {
  public:
    explicit CapturedStreams(const ScratchFolder& folder)
        : out_(std::fopen(fsPath(folder / "out.txt").string().c_str(), "w+b")),
          err_(std::fopen(fsPath(folder / "err.txt").string().c_str(), "w+b")) {}
    ~CapturedStreams() {
        std::fclose(out_);
        std::fclose(err_);
    }
    CapturedStreams(const CapturedStreams&) = delete;
    CapturedStreams& operator=(const CapturedStreams&) = delete;

    std::FILE* out() const { return out_; }
    std::FILE* err() const { return err_; }
    std::string outText() const { return readBack(out_); }
    std::string errText() const { return readBack(err_); }

  private:
    static std::string readBack(std::FILE* file) {
        std::fflush(file);
        std::rewind(file);
        std::string text;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            text.append(buffer, n);
        std::fseek(file, 0, SEEK_END);
        return text;
    }
    std::FILE* out_;
    std::FILE* err_;
};

}  // namespace tovren::testing

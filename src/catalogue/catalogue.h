#pragma once
// The question catalogue: how many questions each type has, and each question's requirements.
// The file is read anew at every lookup, so a catalogue that arrives while the window is open
// is used from the next choice on. A missing file, section or key reads as empty text.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "exam/exam_layout.h"

namespace tovren::catalogue {

// Every value is cut at this many bytes of its GBK form.
inline constexpr size_t kValueLimit = 10239;

inline constexpr std::string_view kCountSection = "题目数量";
inline constexpr std::string_view kRequirementSection = "操作要求";

struct QuestionItem {
    std::string label;  // "第3题"
    int32_t value;      // 3
};

// The longest question list: a count beyond it (a typing slip such as 2147483647) would
// otherwise fill the list until memory runs out. No bank comes near it.
inline constexpr int32_t kMostQuestions = 9999;

// "第" + n + "题" for n = 1 .. count, at most kMostQuestions of them; nothing for a count of 0
// or less.
std::vector<QuestionItem> questionList(int32_t count);

// The lookup behind Catalogue::valueGbk: the value of `key` in `section` (both UTF-8) as GBK
// bytes, at most kValueLimit of them; empty when the section or the key is missing. A catalogue
// is GBK, UTF-8 or UTF-16LE with its byte-order mark; the values of the latter two are read in
// their GBK form. The same bytes give the same value whether they are given whole or read in
// pieces.
std::string valueGbkOfText(std::string_view fileBytes, std::string_view section,
                           std::string_view key);
// Reads up to `count` bytes into `into`: how many, 0 at the end, -1 on an error.
using ReadPiece = std::function<int64_t(char* into, int64_t count)>;
// Reads the catalogue in pieces of `pieceSize` bytes (more for a longer line) and stops as soon
// as the answer is known.
std::string valueGbkOfStream(const ReadPiece& read, std::string_view section, std::string_view key,
                             size_t pieceSize = 64 * 1024);

class Catalogue {
  public:
    explicit Catalogue(std::string path = exam::cataloguePath());

    // The value as GBK bytes, at most kValueLimit of them; section and key are UTF-8.
    std::string valueGbk(std::string_view section, std::string_view key) const;

    // The number under type + "题数量" in "题目数量"; 0 when there is none.
    int32_t questionCount(std::string_view typeText) const;
    // The pieces of the value under the key in "操作要求", split at "~", as UTF-8.
    std::vector<std::string> requirements(std::string_view requirementKey) const;
    // Those pieces, each followed by CR LF.
    std::string requirementText(std::string_view requirementKey) const;

  private:
    std::string path_;
};

// The catalogue the client reads: the fresh one once it has arrived complete, until then the
// one set aside at start (exam/set_aside.h), which is dropped once the fresh one is read.
Catalogue latestCatalogue();

}  // namespace tovren::catalogue

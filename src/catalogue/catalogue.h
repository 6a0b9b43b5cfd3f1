#pragma once
// The question catalogue: how many questions each type has, and each question's requirements.
// The file is read anew at every lookup, so a catalogue that arrives while the window is open
// is used from the next choice on. A missing file, section or key reads as empty text.
#include <cstdint>
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

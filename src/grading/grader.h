#pragma once
// A question's checks run against its folder: each requirement line marked met, not met or
// unchecked, and the text the requirements box shows afterwards.
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"
#include "grading/evaluate.h"

namespace tovren::grading {

// The catalogue section beside the requirements; its keys are the requirement keys.
inline constexpr std::string_view kCheckSection = "自动检查";

enum class Mark { Met, NotMet, NoCheck };

struct MarkedLine {
    std::string requirement;
    Mark mark = Mark::NoCheck;
    std::string why;  // not met: what was found, or why the check could not run
};

struct QuestionResult {
    enum class State { Graded, NoChecks, NoFolder };
    State state = State::NoChecks;
    std::vector<MarkedLine> lines;
    int checked = 0;
    int met = 0;
};

// The question's checks as UTF-8: the value under the key split at "~" exactly as the
// requirements are, so the n-th check belongs to the n-th requirement.
std::vector<std::string> questionChecks(const catalogue::Catalogue& catalogue, std::string_view key);

// Marks every requirement line; an empty or missing check leaves its line unchecked, a
// malformed one marks it not met. Nothing is created or changed.
QuestionResult gradeQuestion(const std::vector<std::string>& requirements,
                             const std::vector<std::string>& checks, const QuestionPlace& place);

// The requirements box after a press: "√ ", "× " or two blanks before each line, and a last
// line counting the met lines; the plain requirements and one line saying why otherwise.
// Lines end in CR LF.
std::string markedText(const QuestionResult& result);

// The place of a question given by its folder: the package is the folder's name with ".zip".
QuestionPlace placeOfFolder(std::string_view folder);

}  // namespace tovren::grading

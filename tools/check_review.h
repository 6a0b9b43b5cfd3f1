#pragma once
// A question's automatic checks looked over for the teacher: each parses, the package files it
// names are in the package, it is not met before any work, and (given a solved copy) it is met
// by the answer.
#include <optional>
#include <string>
#include <vector>

namespace tovren::tool {

struct CheckReview {
    std::vector<std::string> problems;  // the checks cannot work as written
    std::vector<std::string> warnings;  // worth a look
};

// `unpacked` is the package unpacked as the client does, `package` the package itself (program
// paths); `answer` a folder holding the question done right, when the source has one. With an
// answer, a check met before any work or not met by the answer is a problem; without, the
// first is a warning, and so (when asked) is the missing answer.
CheckReview reviewChecks(const std::vector<std::string>& requirements, const std::vector<std::string>& checks,
                         const std::string& unpacked, const std::string& package,
                         const std::optional<std::string>& answer, bool warnWithoutAnswer = false);

}  // namespace tovren::tool

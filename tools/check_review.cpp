#include "check_review.h"

#include "grading/evaluate.h"
#include "grading/package.h"

namespace tovren::tool {

CheckReview reviewChecks(const std::vector<std::string>& requirements, const std::vector<std::string>& checks,
                         const std::string& unpacked, const std::string& package,
                         const std::optional<std::string>& answer, bool warnWithoutAnswer) {
    CheckReview review;
    bool any = false;
    std::optional<std::vector<std::string>> entries;
    if (auto archive = grading::Package::open(package)) entries = archive->entryNames();
    for (size_t i = 0; i < checks.size(); ++i) {
        const std::string at = "check " + std::to_string(i + 1) + ": ";
        grading::ParsedCheck parsed = grading::parseCheck(checks[i]);
        if (!parsed.check && parsed.error.empty()) continue;
        if (i >= requirements.size()) {
            review.warnings.push_back(at + "there are only " + std::to_string(requirements.size()) +
                                      " requirement lines, so the client never runs it");
            continue;
        }
        if (!parsed.check) {
            review.problems.push_back(at + parsed.error);
            continue;
        }
        any = true;
        bool named = true;
        for (const grading::Clause& clause : parsed.check->clauses) {
            if (clause.kind != grading::Kind::Same) continue;
            bool found = false;
            for (const std::string& e : entries.value_or(std::vector<std::string>{}))
                found = found || grading::sameEntryName(e, clause.entry);
            if (!found) {
                review.problems.push_back(at + "the package has no file " + clause.entry);
                named = false;
            }
        }
        if (!named) continue;
        grading::Outcome before = grading::evaluateCheck(*parsed.check, {unpacked, package});
        if (before.met) {
            std::string why = at + "already met by the unsolved package, so it proves nothing";
            (answer ? review.problems : review.warnings).push_back(why);
        }
        if (answer) {
            grading::Outcome solved = grading::evaluateCheck(*parsed.check, {*answer, package});
            if (!solved.met) review.problems.push_back(at + "not met by answer/: " + solved.why);
        }
    }
    if (any && !answer && warnWithoutAnswer)
        review.warnings.push_back("no answer/ folder: the checks were not tried on a solved question");
    return review;
}

}  // namespace tovren::tool

#include "grading/evaluate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tovren::grading {

bool compareNumbers(double actual, Compare compare, double expected) {
    double tolerance = 1e-9 * std::max(1.0, std::max(std::fabs(actual), std::fabs(expected)));
    bool equal = std::fabs(actual - expected) <= tolerance;
    switch (compare) {
        case Compare::Equal: return equal;
        case Compare::Less: return actual < expected && !equal;
        case Compare::Greater: return actual > expected && !equal;
        case Compare::LessEqual: return actual < expected || equal;
        case Compare::GreaterEqual: return actual > expected || equal;
    }
    return false;
}

std::string numberText(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", v);
    return buffer;
}

Outcome evaluateCheck(const Check& check, const QuestionPlace& place) {
    for (const Clause& clause : check.clauses) {
        std::string path = place.folder + "\\" + clause.path;
        Outcome outcome;
        switch (clause.kind) {
            case Kind::Exists:
            case Kind::Absent:
            case Kind::Folder:
            case Kind::Hidden:
            case Kind::ReadOnly:
            case Kind::Same:
            case Kind::Size:
                outcome = evaluateFileClause(clause, place);
                break;
            case Kind::Cell:
            case Kind::Formula:
            case Kind::Sheet:
                outcome = evaluateWorkbookClause(clause, path);
                break;
            case Kind::Slides:
            case Kind::Title:
                outcome = evaluatePresentationClause(clause, path);
                break;
            case Kind::Paragraph:
                outcome = evaluateDocumentClause(clause, path);
                break;
        }
        if (!outcome.met) return outcome;
    }
    return {true, {}};
}

}  // namespace tovren::grading

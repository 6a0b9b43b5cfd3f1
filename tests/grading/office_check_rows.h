#pragma once
// Runs rows of {check, met, why} against a question folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grading/evaluate.h"

namespace tovren::grading {

struct CheckRow {
    std::string check;
    bool met;
    const char* why;
};

inline void expectCheckRows(const QuestionPlace& place, const std::vector<CheckRow>& rows) {
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.why) + ": " + row.check);
        ParsedCheck parsed = parseCheck(row.check);
        ASSERT_TRUE(parsed.check) << parsed.error;
        Outcome outcome = evaluateCheck(*parsed.check, place);
        EXPECT_EQ(outcome.met, row.met) << outcome.why;
    }
}

}  // namespace tovren::grading

#pragma once
// Whether one clause holds for a question's folder. Nothing here changes a file; documents are
// read with sharing that lets Word, Excel or PowerPoint keep them open.
#include <string>
#include <string_view>

#include "grading/check.h"

namespace tovren::grading {

struct Outcome {
    bool met = false;
    std::string why;  // when not met: what was found, for the teacher's tool
};

// Where a question lives: its folder ("c:\Kavrel\Word-1") and its package ("c:\Kavrel\Word-1.zip").
struct QuestionPlace {
    std::string folder;
    std::string package;
};

Outcome evaluateFileClause(const Clause& clause, const QuestionPlace& place);
Outcome evaluateWorkbookClause(const Clause& clause, const std::string& path);
Outcome evaluateDocumentClause(const Clause& clause, const std::string& path);
Outcome evaluatePresentationClause(const Clause& clause, const std::string& path);

// Every clause in turn; the first that is not met gives the outcome.
Outcome evaluateCheck(const Check& check, const QuestionPlace& place);

// Numbers compare with a relative tolerance, so 0.1 + 0.2 is 0.3.
bool compareNumbers(double actual, Compare compare, double expected);
std::string numberText(double v);

// A shared formula written for its first cell, as it reads in a cell so many columns and rows away.
std::string shiftSharedFormula(std::string_view formula, int columns, int rows);

}  // namespace tovren::grading

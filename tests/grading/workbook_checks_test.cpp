#include <gtest/gtest.h>

#include "grading/office_builder.h"
#include "grading/office_check_rows.h"
#include "support/scratch.h"

namespace tovren::grading {
namespace {

using testing::ScratchFolder;

TEST(WorkbookChecks, CellsFormulasAndSheets) {
    ScratchFolder scratch;
    scratch.writeFile("Excel-1\\成绩.xlsx",
                      testing::xlsxBytes(
                          {{"成绩表",
                            R"(<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1"><v>90</v></c><c r="C1"><v>0.30000000000000004</v></c></row>)"
                            R"(<row r="2"><c r="A2" t="inlineStr"><is><t>李四</t></is></c><c r="B2"><f>SUM(B1,5)</f><v>95</v></c>)"
                            R"(<c r="C2" t="str"><f>IF(B2&gt;90,"优秀","良好")</f><v>优秀</v></c></row>)"
                            R"(<row r="3"><c r="D3"><f t="shared" ref="D3:D5" si="0">B3+$C$1*C3</f><v>1</v></c></row>)"
                            R"(<row r="4"><c r="D4"><f t="shared" si="0"/><v>2</v></c></row>)"
                            R"(<row><c><v>7</v></c><c><v>8</v></c><c r="D5"><f t="shared" si="0"/><v>3</v></c></row>)"},
                           {"Sheet 2", R"(<row r="1"><c r="A1" t="s"><v>1</v></c><c r="B1" t="b"><v>1</v></c></row>)"}},
                          {"张三", "第二页"}));
    QuestionPlace place{scratch / "Excel-1", scratch / "Excel-1.zip"};
    expectCheckRows(place, {
        {"cell 成绩.xlsx A1 = \"张三\"", true, "a shared string"},
        {"cell 成绩.xlsx A1 = \"李四\"", false, "another text"},
        {"cell 成绩.xlsx B1 = 90", true, "a number"},
        {"cell 成绩.xlsx B1 = 90.0", true, "the same number written otherwise"},
        {"cell 成绩.xlsx B1 = \"90\"", true, "a number's text"},
        {"cell 成绩.xlsx B1 = 91", false, "another number"},
        {"cell 成绩.xlsx A1 = 0", false, "a text is no number"},
        {"cell 成绩.xlsx C1 = 0.3", true, "0.1 + 0.2 as Excel stores it"},
        {"cell 成绩.xlsx A2 = \"李四\"", true, "an inline string"},
        {"cell 成绩.xlsx B2 = 95", true, "a formula's cached value"},
        {"cell 成绩.xlsx C2 = \"优秀\"", true, "a formula's text result"},
        {"cell 成绩.xlsx Z9 = 0", false, "an empty cell holds no number"},
        {"cell 成绩.xlsx Z9 = \"\"", true, "an empty cell holds the empty text"},
        {"cell 成绩.xlsx 成绩表!B1 = 90", true, "the sheet named"},
        {"cell 成绩.xlsx \"Sheet 2!A1\" = \"第二页\"", true, "a sheet name with a blank"},
        {"cell 成绩.xlsx \"'sheet 2'!B1\" = 1", true, "quoted as in a formula, any case; a boolean as 1"},
        {"cell 成绩.xlsx 没有!A1 = 1", false, "no such sheet"},
        {"cell 成绩.xlsx A5 = 7", true, "cells without their own reference follow the one before"},
        {"cell 成绩.xlsx B5 = 8", true, "the next one"},
        {"formula 成绩.xlsx B2", true, "a formula is there"},
        {"formula 成绩.xlsx B1", false, "a plain number holds no formula"},
        {"formula 成绩.xlsx B2 = \"=sum(B1, 5)\"", true, "case, blanks and the leading = do not matter"},
        {"formula 成绩.xlsx B2 = \"SUM(B1,6)\"", false, "another formula"},
        {"formula 成绩.xlsx C2 = \"IF(B2>90,\"\"优秀\"\",\"\"良好\"\")\"", true, "quotes inside"},
        {"formula 成绩.xlsx C2 = \"IF(B2>90,\"\"优 秀\"\",\"\"良好\"\")\"", false, "blanks inside quotes count"},
        {"formula 成绩.xlsx D3 = \"B3+$C$1*C3\"", true, "the first cell of a shared formula"},
        {"formula 成绩.xlsx D4 = \"B4+$C$1*C4\"", true, "filled down: relative rows move, $ stays"},
        {"formula 成绩.xlsx D5 = \"B5+$C$1*C5\"", true, "two rows down"},
        {"formula 成绩.xlsx D4 = \"B3+$C$1*C3\"", false, "the first cell's text is not this cell's"},
        {"sheet 成绩.xlsx 1 = \"成绩表\"", true, "the first sheet's name"},
        {"sheet 成绩.xlsx 2 = \"Sheet 2\"", true, "the second"},
        {"sheet 成绩.xlsx 2 = \"sheet 2\"", false, "a sheet's name compares exactly"},
        {"sheet 成绩.xlsx 3 = \"x\"", false, "no third sheet"},
        {"cell 没有.xlsx A1 = 1", false, "no workbook"},
    });
}

TEST(WorkbookChecks, SharedFormulaShifting) {
    struct Row {
        const char* formula;
        int columns, rows;
        const char* expected;
        const char* why;
    } rows[] = {
        {"A1+B2", 0, 1, "A2+B3", "down one row"},
        {"A1+B2", 1, 0, "B1+C2", "right one column"},
        {"$A1+A$1+$A$1", 1, 1, "$A2+B$1+$A$1", "absolute parts stay"},
        {"SUM(A1:A3)", 0, 2, "SUM(A3:A5)", "a range; SUM is no reference"},
        {"LOG10(A1)", 0, 1, "LOG10(A2)", "a function name that looks like a cell"},
        {"\"A1\"&A1", 0, 1, "\"A1\"&A2", "text in quotes stays"},
        {"'Sheet 1'!A1", 0, 1, "'Sheet 1'!A2", "a quoted sheet name stays"},
        {"A2", 0, -2, "#REF!", "moved above the first row"},
        {"Z1", 1, 0, "AA1", "past Z"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(shiftSharedFormula(row.formula, row.columns, row.rows), row.expected);
    }
}

}  // namespace
}  // namespace tovren::grading

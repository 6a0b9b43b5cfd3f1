// Documents that LibreOffice saved (tests/fixtures/office/make-fixtures): the checks read what a
// real office program writes, not only what the tests make.
#include <gtest/gtest.h>

#include "grading/office_check_rows.h"
#include "support/scratch.h"

namespace tovren::grading {
namespace {

TEST(SavedDocuments, WordExcelAndPowerPointAsLibreOfficeWritesThem) {
    const QuestionPlace place{TOVREN_FIXTURES "/office", TOVREN_FIXTURES "/office.zip"};
    expectCheckRows(place, {
        {"para styled.docx 春天来了 font-cn = 黑体", true, "the title's font from its paragraph style"},
        {"para styled.docx 春天来了 font-latin = Arial", true, "its Latin font"},
        {"para styled.docx 春天来了 size = 二号", true, "22 points"},
        {"para styled.docx 春天来了 bold = yes", true, "bold by the style"},
        {"para styled.docx 春天来了 align = center", true, "centred"},
        {"para styled.docx 盼望着 font-cn = 宋体", true, "the body's font"},
        {"para styled.docx 盼望着 font-latin = \"Times New Roman\"", true, "the body's Latin font"},
        {"para styled.docx 盼望着 size = 小四", true, "12 points"},
        {"para styled.docx 盼望着 indent = 2", true, "24 points at 12 points: two characters"},
        {"para styled.docx 盼望着 align = justify", true, "justified"},
        {"para styled.docx 盼望着 italic = no", true, "the plain part"},
        {"para styled.docx 东风来了 italic = yes", true, "the phrase's character style"},
        {"para styled.docx 东风来了 underline = yes", true, "underlined by the character style"},
        {"para styled.docx 东风来了 bold = no", true, "not bold"},
        {"para styled.docx 嫩嫩的 bold = yes", true, "direct bold"},
        {"para styled.docx \"土里钻出来，嫩嫩的\" bold = yes", false, "only part of that text is bold"},
        {"para styled.docx 作者 font-cn = 楷体", true, "a direct font"},
        {"para styled.docx 作者 size = 四号", true, "a direct size"},
        {"para styled.docx 作者 align = right", true, "a direct alignment"},
        {"para styled.docx 作者 indent = 0", true, "a direct indent that undoes the style's"},
        {"sheet scores.xlsx 1 = \"成绩\"", true, "the first sheet's name"},
        {"sheet scores.xlsx 2 = \"说明\"", true, "the second"},
        {"cell scores.xlsx A2 = \"张明\"", true, "a shared string"},
        {"cell scores.xlsx B2 = 88.5", true, "a number"},
        {"cell scores.xlsx D2 = 183.5", true, "a formula's value"},
        {"formula scores.xlsx D2 = \"SUM(B2:C2)\"", true, "the formula"},
        {"formula scores.xlsx D3 = \"SUM(B3:C3)\"", true, "the next row's"},
        {"formula scores.xlsx B4 = \"AVERAGE(B2:B3)\"", true, "another function"},
        {"cell scores.xlsx C4 = \"数学好\"", true, "a formula's text result"},
        {"formula scores.xlsx B2", false, "a number holds no formula"},
        {"cell scores.xlsx 说明!A1 = \"满分 100\"", true, "a rich text on the second sheet"},
        {"slides slides.pptx = 3", true, "three slides"},
        {"title slides.pptx 1 = \"保护环境 从我做起\"", true, "the first title"},
        {"title slides.pptx 3 = \"谢谢观看\"", true, "the last title"},
        {"title slides.pptx 2 = \"谢谢观看\"", false, "not the second's"},
    });
}

}  // namespace
}  // namespace tovren::grading

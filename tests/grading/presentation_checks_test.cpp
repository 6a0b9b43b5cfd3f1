#include <gtest/gtest.h>

#include "grading/office_builder.h"
#include "grading/office_check_rows.h"
#include "support/scratch.h"

namespace tovren::grading {
namespace {

using testing::ScratchFolder;

TEST(PresentationChecks, SlideCountAndTitles) {
    ScratchFolder scratch;
    scratch.writeFile("PowerPoint-1\\家乡.pptx", testing::pptxBytes({"我的家乡", "-", "  美丽的   风景 "}));
    QuestionPlace place{scratch / "PowerPoint-1", scratch / "PowerPoint-1.zip"};
    expectCheckRows(place, {
        {"slides 家乡.pptx = 3", true, "three slides"},
        {"slides 家乡.pptx >= 2", true, "at least two"},
        {"slides 家乡.pptx > 3", false, "not more than three"},
        {"title 家乡.pptx 1 = \"我的家乡\"", true, "the first slide's title"},
        {"title 家乡.pptx 1 = \"我的\"", false, "a title compares whole"},
        {"title 家乡.pptx 2 = \"Body text\"", false, "a slide without a title placeholder"},
        {"title 家乡.pptx 3 = \"美丽的 风景\"", true, "blanks in a row count as one"},
        {"title 家乡.pptx 4 = \"x\"", false, "no fourth slide"},
        {"slides 没有.pptx = 0", false, "no presentation"},
    });
}

}  // namespace
}  // namespace tovren::grading

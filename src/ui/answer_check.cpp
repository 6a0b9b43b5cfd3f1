#include "ui/answer_check.h"

#include "catalogue/catalogue.h"
#include "exam/exam_layout.h"
#include "grading/grader.h"
#include "ui/window_definitions.h"

namespace tovren::ui {

void checkAnswer(platform::window::Window& training, const ui::Program& program) {
    const exam::TrainingState& state = program.state;
    const catalogue::Catalogue catalogue;
    // Before any question is chosen the key names no question, and the box says there is no check.
    grading::QuestionResult result = grading::gradeQuestion(
        catalogue.requirements(state.requirementKey), grading::questionChecks(catalogue, state.requirementKey),
        {exam::unpackFolder(state.typeText, state.questionNumberText),
         exam::packagePath(state.typeText, state.questionNumberText)});
    training.editBox(k编辑框1).setText(grading::markedText(result));
}

}  // namespace tovren::ui

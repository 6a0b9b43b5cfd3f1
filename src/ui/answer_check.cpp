#include "ui/answer_check.h"

#include <string>

#include "catalogue/catalogue.h"
#include "exam/exam_layout.h"
#include "exam/set_aside.h"
#include "grading/grader.h"
#include "ui/window_definitions.h"

namespace tovren::ui {

namespace {

// The type of the question whose requirements the box shows: the type list may have moved on
// since the question was chosen, and the check must look at that question's folder.
std::string shownType(const exam::TrainingState& state) {
    const std::string& key = state.requirementKey;
    if (!state.questionLabel.empty() && key.ends_with(state.questionLabel))
        return key.substr(0, key.size() - state.questionLabel.size());
    return state.typeText;
}

}  // namespace

void checkAnswer(platform::window::Window& training, const ui::Program& program) {
    const exam::TrainingState& state = program.state;
    // The catalogue and package the student works from: yesterday's while no fresh one has come.
    const catalogue::Catalogue catalogue = catalogue::latestCatalogue();
    const std::string type = shownType(state);
    // Before any question is chosen the key names no question, and the box says there is no check.
    grading::QuestionResult result = grading::gradeQuestion(
        catalogue.requirements(state.requirementKey),
        grading::questionChecks(catalogue, state.requirementKey),
        {exam::unpackFolder(type, state.questionNumberText),
         exam::latestCopy(exam::packagePath(type, state.questionNumberText))});
    training.editBox(k编辑框1).setText(grading::markedText(result));
}

}  // namespace tovren::ui

#include "ui/exam_folder.h"

#include "exam/exam_layout.h"
#include "fetch/extract.h"

namespace tovren::ui {

void openExamFolder(platform::window::Window& training, const ui::Program& program) {
    const auto& state = program.state;
    // Nothing is reported: a missing or broken package shows only as a missing folder.
    fetch::extractAll(exam::packagePath(state.typeText, state.questionNumberText),
                      exam::unpackFolder(state.typeText, state.questionNumberText));
    training.system().shellOpen("explore", exam::kExamFolder);
}

}  // namespace tovren::ui

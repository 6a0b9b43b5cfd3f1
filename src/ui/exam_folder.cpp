#include "ui/exam_folder.h"

#include "app/exam_layout.h"
#include "fetch/extract.h"

namespace tovren::ui {

void openExamFolder(platform::window::Window& training, const app::Program& program) {
    const auto& state = program.state;
    // Nothing is reported: a missing or broken package shows only as a missing folder.
    fetch::extractAll(app::packagePath(state.typeText, state.questionNumberText),
                      app::unpackFolder(state.typeText, state.questionNumberText));
    training.system().shellOpen("explore", app::kExamFolder);
}

}  // namespace tovren::ui

#include "ui/exam_folder.h"

#include "exam/exam_layout.h"
#include "exam/set_aside.h"
#include "fetch/extract.h"

namespace tovren::ui {

void openExamFolder(platform::window::Window& training, const ui::Program& program) {
    const auto& state = program.state;
    // Nothing is reported: a missing or broken package shows only as a missing folder. A fresh
    // package is unpacked when it has arrived, else the last one, set aside when it was chosen.
    fetch::extractAll(exam::latestCopy(exam::packagePath(state.typeText, state.questionNumberText)),
                      exam::unpackFolder(state.typeText, state.questionNumberText));
    training.system().shellOpen("explore", exam::kExamFolder);
}

}  // namespace tovren::ui

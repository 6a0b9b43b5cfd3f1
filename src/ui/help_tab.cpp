#include "ui/help_tab.h"

#include "exam/exam_layout.h"
#include "platform/files.h"
#include "ui/preparation.h"

namespace tovren::ui {

void openHelpDocument(platform::window::Window& training, ui::Program& program) {
    program.taskParam.url = exam::helpAddress(program.serverBase);
    program.taskParam.localPath = exam::helpPath();
    // A document already there is never fetched again.
    if (!platform::pathExists(program.taskParam.localPath)) {
        program.download->addTask(program.taskParam);
        waitForDownloader(training, program);
    }
    training.system().shellOpen("open", exam::helpPath());
}

}  // namespace tovren::ui

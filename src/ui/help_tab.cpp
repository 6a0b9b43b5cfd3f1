#include "ui/help_tab.h"

#include "app/exam_layout.h"
#include "platform/files.h"
#include "ui/preparation.h"

namespace tovren::ui {

void openHelpDocument(platform::window::Window& training, app::Program& program) {
    program.taskParam.url = app::helpAddress(program.serverBase);
    program.taskParam.localPath = app::helpPath();
    // A document already there is never fetched again.
    if (!platform::pathExists(program.taskParam.localPath)) {
        program.download->addTask(program.taskParam);
        waitForDownloader(training, program);
    }
    training.system().shellOpen("open", app::helpPath());
}

}  // namespace tovren::ui

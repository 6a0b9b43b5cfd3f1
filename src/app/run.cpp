#include "app/run.h"

#include "exam/exam_layout.h"
#include "fetch/temporary_files.h"
#include "ui/program.h"
#include "platform/window/backend.h"
#include "ui/training_window.h"
#include "ui/window_definitions.h"

namespace tovren::app {

int runProgram(platform::window::WindowSystem& windows, std::unique_ptr<fetch::Downloader> download) {
    // What killed or outlasted runs left half-downloaded goes before anything is fetched.
    fetch::removeLeftoverDownloads(exam::kExamFolder);
    ui::Program program(windows, std::move(download));
    windows.setCleanUp([&program] { program.cleanUp(); });
    auto* training = windows.load(ui::kTrainingWindow, nullptr, false,
                                  [&program](platform::window::Window& w) { ui::bindTrainingWindow(w, program); });
    if (!training) windows.fatalFault("无法创建训练窗口，程序无法继续运行。");
    windows.run();
    windows.runCleanUp();
    windows.backend().uninitialise();
    return 0;
}

}  // namespace tovren::app

#include "app/run.h"

#include "exam/exam_layout.h"
#include "fetch/temporary_files.h"
#include "ui/program.h"
#include "platform/window/backend.h"
#include "ui/training_window.h"
#include "ui/window_definitions.h"

namespace tovren::app {

int runProgram(platform::window::WindowSystem& windows, std::unique_ptr<fetch::Downloader> download,
               std::string_view testingSiteBase) {
    // What killed or outlasted runs left half-downloaded goes before anything is fetched.
    fetch::removeLeftoverDownloads(exam::kExamFolder);
    ui::Program program(windows, std::move(download));
    program.testingSiteBase = std::string(testingSiteBase);
    ui::TrainingWindowAt site{program.testingSiteBase};  // read by the window while it exists
    windows.setCleanUp([&program] { program.cleanUp(); });
    auto* training = windows.load(site.def(), nullptr, false,
                                  [&program](platform::window::Window& w) { ui::bindTrainingWindow(w, program); });
    if (!training) windows.fatalFault("无法创建训练窗口，程序无法继续运行。");
    windows.run();
    windows.runCleanUp();
    windows.backend().uninitialise();
    return 0;
}

}  // namespace tovren::app

#pragma once
// Start-up, the main loop and the normal end.
#include <memory>
#include <string_view>

#include "exam/exam_layout.h"

#include "fetch/task_param.h"
#include "platform/window/window_system.h"

namespace tovren::app {

// Loads the training window, runs the main loop until the last window has gone, runs the
// clean-up and returns the exit code 0. An immediate exit or a fatal fault never returns.
// The browser shows the compiled-in testing site; tests give a site of their own.
int runProgram(platform::window::WindowSystem& windows, std::unique_ptr<fetch::Downloader> download,
               std::string_view testingSiteBase = exam::kTestingSiteBase);

}  // namespace tovren::app

#pragma once
// The button "打开考试文件夹": the current package unpacked into its own folder, then the exam
// folder shown in the file manager.
#include "ui/program.h"
#include "platform/window/window.h"

namespace tovren::ui {

// Unpacks c:\Kavrel\<type>-<number>.zip (or, while no fresh one has arrived, its set-aside
// copy) into c:\Kavrel\<type>-<number>, then explores c:\Kavrel whatever the unpacking did.
void openExamFolder(platform::window::Window& training, const ui::Program& program);

}  // namespace tovren::ui

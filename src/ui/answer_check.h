#pragma once
// The button "检查答案": the current question's automatic checks run against its folder, and
// the requirements box rewritten with each line marked.
#include "platform/window/window.h"
#include "ui/program.h"

namespace tovren::ui {

void checkAnswer(platform::window::Window& training, const ui::Program& program);

}  // namespace tovren::ui

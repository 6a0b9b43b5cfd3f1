#pragma once
// The help tab's button "知识帮助": the help document fetched once, then opened.
#include "ui/program.h"
#include "platform/window/window.h"

namespace tovren::ui {

// Points the TaskParam at the help document; fetches it (with the preparing wait) only when
// nothing stands at its path, then has the shell open it.
void openHelpDocument(platform::window::Window& training, ui::Program& program);

}  // namespace tovren::ui

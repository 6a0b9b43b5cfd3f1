#pragma once
// The training window's own handlers: creation, a type chosen, a tab changed, closing; and the
// binding of every handler of the window, those of the other parts included.
#include "ui/program.h"
#include "platform/window/window.h"

namespace tovren::ui {

// Binds every handler of the training window; called while it is loaded, before it is created.
void bindTrainingWindow(platform::window::Window& window, ui::Program& program);

// The handlers, one per event.
void onCreated(platform::window::Window& window, ui::Program& program);
void onTypeChosen(platform::window::Window& window, ui::Program& program);
void onTabChanged(platform::window::Window& window);
std::optional<bool> onCanBeClosed(platform::window::Window& window);

}  // namespace tovren::ui

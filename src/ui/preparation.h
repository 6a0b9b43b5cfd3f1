#pragma once
// Preparing a chosen question: its package is fetched while the preparing window blocks the
// training window, then the requirements are shown. The same wait serves the help button.
#include "ui/program.h"
#include "platform/window/window.h"

namespace tovren::ui {

// The question list's list-item-selected handler.
void prepareQuestion(platform::window::Window& training, ui::Program& program);

// With the TaskParam's url and localPath set: removes a file standing at localPath, then hands
// the task to the download object (its answer is not looked at).
void startDownload(ui::Program& program);

// The training window leaves the topmost band while the preparing window is up, modal, until
// its timer finds no bytes arriving (or Esc closes it); the window's end puts it back on top.
void waitForDownloader(platform::window::Window& training, ui::Program& program);

// The preparing window's handlers.
void bindPreparingWindow(platform::window::Window& preparing, platform::window::Window& training,
                         ui::Program& program);
// Each tick: while bytes arrive, the bar shows how much of the announced length has come;
// when none do, the window goes.
void onPreparingTimer(platform::window::Window& preparing, ui::Program& program);
void showProgress(platform::window::ProgressBar& bar, int32_t received, int32_t announced);

// Empties the requirement box, then adds the requirements of the current key one line each.
void showRequirements(platform::window::Window& training, const ui::Program& program);

}  // namespace tovren::ui

#pragma once
// The program record: the one TrainingState, the one TaskParam and the one download object,
// created before any window and kept until the clean-up. Handlers reach them through it.
#include <memory>
#include <string>

#include "exam/exam_layout.h"
#include "exam/training_state.h"
#include "fetch/task_param.h"
#include "platform/window/window_system.h"

namespace tovren::ui {

struct Program {
    Program(platform::window::WindowSystem& windowSystem, std::unique_ptr<fetch::Downloader> downloader)
        : windows(windowSystem), download(std::move(downloader)) {}

    platform::window::WindowSystem& windows;
    // The question server every address is built on: the compiled-in one; tests point it at
    // a server of their own.
    std::string serverBase = std::string(exam::kServerBase);
    // The testing site the browser shows, likewise (its window: TrainingWindowAt).
    std::string testingSiteBase = std::string(exam::kTestingSiteBase);
    exam::TrainingState state;
    fetch::TaskParam taskParam;
    std::unique_ptr<fetch::Downloader> download;

    // Destroys the download object (ending any transfer) and lets go of every text.
    void cleanUp() {
        download.reset();
        taskParam = {};
        state = {};
    }
};

}  // namespace tovren::ui

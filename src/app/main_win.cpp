// The client's entry: the win32 window system and the download object, then the run.
#include <windows.h>

#include <memory>

#include "app/idle_downloader.h"
#include "app/run.h"
#include "platform/window/backend.h"
#include "platform/window/driver.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    tovren::platform::window::WindowSystem windows(tovren::platform::window::makeBackend());
    // Stand-in until the download service is linked in: fetch::Download takes its place here.
    auto download = std::make_unique<tovren::app::IdleDownloader>();
    return tovren::app::runProgram(windows, std::move(download));
}

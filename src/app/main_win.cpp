// The client's entry: the win32 window system and the download object, then the run.
#include <windows.h>

#include <memory>

#include "app/run.h"
#include "fetch/download.h"
#include "platform/browser_emulation.h"
#include "platform/window/backend.h"
#include "platform/window/driver.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before any browser control exists: it reads its rendering mode when it is made.
    tovren::platform::chooseBrowserEmulation();
    tovren::platform::window::WindowSystem windows(tovren::platform::window::makeBackend());
    return tovren::app::runProgram(windows, std::make_unique<tovren::fetch::Download>());
}

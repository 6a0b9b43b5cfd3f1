// The progress bar on Windows: the common controls' progress class, its range and position as
// 32-bit values (learn.microsoft.com/windows/win32/controls/pbm-setrange32; PBM_GETRANGE with
// wParam FALSE answers the high limit, controls/pbm-getrange).
#include <windows.h>
// commctrl.h needs windows.h before it.
#include <commctrl.h>

#include "platform/window/win32/win32_backend.h"

namespace tovren::platform::window {

void Win32Backend::setProgress(Control& bar, int32_t position, int32_t range) {
    HWND hwnd = reinterpret_cast<HWND>(bar.native);
    // The maximum must be above the minimum: a bar without a range keeps 0 .. 1, empty.
    SendMessageW(hwnd, PBM_SETRANGE32, 0, range > 0 ? range : 1);
    SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(range > 0 ? position : 0), 0);
}

int32_t Win32Backend::progressPosition(const Control& bar) const {
    return static_cast<int32_t>(SendMessageW(reinterpret_cast<HWND>(bar.native), PBM_GETPOS, 0, 0));
}

int32_t Win32Backend::progressRange(const Control& bar) const {
    return static_cast<int32_t>(
        SendMessageW(reinterpret_cast<HWND>(bar.native), PBM_GETRANGE, FALSE, 0));
}

}  // namespace tovren::platform::window

#include "ui/theory_tab.h"

#include "ui/window_definitions.h"

namespace tovren::ui {

void setUpBalloonTip(platform::window::Window& window) {
    constexpr int32_t kNoIcon = -1;
    window.balloonTipBox(k气球提示框1).attachTool(window.control(k标签1), kTheoryTipText, kNoIcon);
}

}  // namespace tovren::ui

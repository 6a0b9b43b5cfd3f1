#include "ui/theory_tab.h"

#include "exam/exam_layout.h"
#include "ui/window_definitions.h"

namespace tovren::ui {

void setUpBalloonTip(platform::window::Window& window) {
    constexpr int32_t kNoIcon = -1;
    window.balloonTipBox(k气球提示框1).attachTool(window.control(k标签1), kTheoryTipText, kNoIcon);
}

void backToLoginPage(platform::window::Window& window, const ui::Program& program) {
    window.browserBox(k超文本浏览框1).set地址(exam::loginAddress(program.testingSiteBase));
}

std::optional<bool> openInPlace(platform::window::Window& window) {
    auto& browser = window.browserBox(k超文本浏览框1);
    // The status text is the link the page asked to open (empty before the first report).
    browser.set地址(browser.状态条文本());
    return false;
}

}  // namespace tovren::ui

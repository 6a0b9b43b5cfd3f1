#pragma once
// The theory tab: the balloon tip on the label "操作提示", the button "▲" and new browser
// windows kept in the embedded browser.
#include <optional>
#include <string_view>

#include "platform/window/window.h"
#include "ui/program.h"

namespace tovren::ui {

inline constexpr std::string_view kTheoryTipText =
    "如何做理论题？\r\n"
    "1、注册一个自己的帐号(推荐使用自己常用的QQ及QQ邮箱)。\r\n"
    "2、用注册成功的帐号登录，申请加入班级103565，然后就可以学习或自测了。";

// Attaches the tip to the label, with no icon.
void setUpBalloonTip(platform::window::Window& window);

// "▲": the browser loads the testing site's login page again, whatever it showed.
void backToLoginPage(platform::window::Window& window, const ui::Program& program);

// A new browser window is about to open: the browser goes to its latest status text instead,
// and the new window is refused.
std::optional<bool> openInPlace(platform::window::Window& window);

}  // namespace tovren::ui

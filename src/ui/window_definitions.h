#pragma once
// The two windows of the program, as data: their settings and one row per control.
#include <array>
#include <string>
#include <string_view>

#include "exam/exam_layout.h"
#include "platform/window/definition.h"

namespace tovren::ui {

namespace win = platform::window;

// Control names, as the handlers call them.
inline constexpr std::string_view k选择夹1 = "选择夹1";
inline constexpr std::string_view k打开考试文件夹 = "打开考试文件夹";
inline constexpr std::string_view k组合框_选择题型 = "组合框_选择题型";
inline constexpr std::string_view k组合框_选择题目 = "组合框_选择题目";
inline constexpr std::string_view kZIP压缩1 = "ZIP压缩1";
inline constexpr std::string_view k编辑框1 = "编辑框1";
inline constexpr std::string_view k检查答案 = "检查答案";
inline constexpr std::string_view k气球提示框1 = "气球提示框1";
inline constexpr std::string_view k标签1 = "标签1";
inline constexpr std::string_view k按钮3 = "按钮3";
inline constexpr std::string_view k超文本浏览框1 = "超文本浏览框1";
inline constexpr std::string_view k编辑框2 = "编辑框2";
inline constexpr std::string_view k按钮帮助 = "按钮帮助";
inline constexpr std::string_view k透明标签1 = "透明标签1";
inline constexpr std::string_view k时钟1 = "时钟1";
inline constexpr std::string_view k进度条1 = "进度条1";

inline constexpr std::array<std::string_view, 3> kTabTitles{"操作题", "理论题", "帮助"};
inline constexpr std::array<std::string_view, 8> kTypeItems{
    "选择题型", "Word", "Excel", "PowerPoint", "FrontPage", "Flash", "PhotoShop", "Windows"};
inline constexpr std::array<std::string_view, 1> kQuestionItems{"选择题目"};

inline constexpr std::string_view kHelpText =
    "一、如何做理论题：\r\n"
    "1、在理论题页面注册一个自己的帐号，推荐使用自己常用的QQ及QQ邮箱。\r\n"
    "2、在理论题页面登录，申请加入班级103565，然后就可以学习或自测了。";

// The browser's first address: the login page on the testing site of the executable's brand
// place, read once.
inline std::string_view initialBrowserAddress() {
    static const std::string address = exam::loginAddress();
    return address;
}

// Not constexpr: the browser's row takes its address from the brand place at start-up.
inline const std::array<win::ControlDef, 13> kTrainingWindowControls{{
    {.name = k选择夹1, .kind = win::Kind::TabControl, .page = win::kOnWindow,
     .left = 2, .top = 8, .width = 566, .height = 240, .items = kTabTitles},
    {.name = k打开考试文件夹, .kind = win::Kind::Button, .page = 0,
     .left = 454, .top = 24, .width = 104, .height = 20, .text = "打开考试文件夹", .flags = win::kTabStop},
    {.name = k组合框_选择题型, .kind = win::Kind::ComboBox, .page = 0,
     .left = 229, .top = 24, .width = 100, .height = 20, .text = "选择题型", .items = kTypeItems,
     .flags = win::kTabStop, .textColour = win::rgb(0, 0, 0), .backgroundColour = win::rgb(255, 255, 255)},
    {.name = k组合框_选择题目, .kind = win::Kind::ComboBox, .page = 0,
     .left = 342, .top = 24, .width = 100, .height = 20, .text = "选择题目", .items = kQuestionItems,
     .flags = win::kTabStop, .textColour = win::rgb(0, 0, 0), .backgroundColour = win::rgb(255, 255, 255)},
    {.name = kZIP压缩1, .kind = win::Kind::ZipComponent, .page = 0,
     .left = 128, .top = 62, .width = 26, .height = 26},
    {.name = k编辑框1, .kind = win::Kind::EditBox, .page = 0,
     .left = 3, .top = 47, .width = 555, .height = 185,
     .flags = win::kTabStop | win::kMultiLine | win::kVerticalScroll,
     .textColour = win::rgb(0, 0, 0), .backgroundColour = win::rgb(255, 255, 255)},
    // Marks the requirement lines that the question's automatic checks find met.
    {.name = k检查答案, .kind = win::Kind::Button, .page = 0,
     .left = 140, .top = 24, .width = 80, .height = 20, .text = "检查答案", .flags = win::kTabStop},
    {.name = k气球提示框1, .kind = win::Kind::BalloonTipBox, .page = 1,
     .left = 328, .top = 24, .width = 40, .height = 26, .showDelay = 200, .displayTime = 500},
    {.name = k标签1, .kind = win::Kind::Label, .page = 1,
     .left = 150, .top = 24, .width = 64, .height = 18, .text = "操作提示",
     .flags = win::kDragsWindow | win::kCentred,
     .textColour = win::rgb(0, 255, 0), .backgroundColour = win::rgb(0, 0, 0)},
    {.name = k按钮3, .kind = win::Kind::Button, .page = 1,
     .left = 16, .top = 24, .width = 24, .height = 16, .text = "▲", .flags = win::kTabStop},
    {.name = k超文本浏览框1, .kind = win::Kind::BrowserBox, .page = 1,
     .left = 8, .top = 48, .width = 552, .height = 184,
     .text = initialBrowserAddress(), .flags = win::kTabStop},
    {.name = k编辑框2, .kind = win::Kind::EditBox, .page = 2,
     .left = 6, .top = 24, .width = 456, .height = 208, .text = kHelpText,
     .flags = win::kTabStop | win::kMultiLine | win::kVerticalScroll | win::kDisabled,
     .textColour = win::rgb(0, 0, 0), .backgroundColour = win::rgb(255, 255, 255)},
    {.name = k按钮帮助, .kind = win::Kind::Button, .page = 2,
     .left = 478, .top = 48, .width = 74, .height = 40, .text = "知识帮助", .flags = win::kTabStop},
}};

inline const win::WindowDef kTrainingWindow{
    .name = "TrainingWindow", .caption = "Tovren_Morlix", .width = 577, .height = 278,
    .titleBar = true, .alwaysOnTop = true, .dragAnywhere = true, .escCloses = true,
    .programIcon = true, .controls = kTrainingWindowControls};

// The progress bar sits on the black below the label, clear of its text.
inline constexpr std::array<win::ControlDef, 3> kPreparingWindowControls{{
    {.name = k透明标签1, .kind = win::Kind::TransparentLabel, .page = win::kOnWindow,
     .left = 32, .top = 32, .width = 280, .height = 40, .text = "正在准备试题，请稍候...",
     .textColour = win::rgb(0, 128, 0), .fontFace = "宋体", .fontHeight = 19, .fontCharset = 134},
    {.name = k时钟1, .kind = win::Kind::Timer, .page = win::kOnWindow,
     .left = 280, .top = 8, .width = 26, .height = 26, .period = 500},
    {.name = k进度条1, .kind = win::Kind::ProgressBar, .page = win::kOnWindow,
     .left = 32, .top = 84, .width = 316, .height = 8},
}};

inline constexpr win::WindowDef kPreparingWindow{
    .name = "PreparingWindow", .caption = "", .width = 380, .height = 116,
    .titleBar = false, .alwaysOnTop = false, .dragAnywhere = false, .escCloses = true,
    .programIcon = false, .backgroundColour = win::rgb(0, 0, 0), .controls = kPreparingWindowControls};

// The training window with its browser starting at another testing site's login page: the
// program's is the compiled-in one, a test's a server of its own.
class TrainingWindowAt {
public:
    explicit TrainingWindowAt(std::string_view testingSiteBase) : login_(exam::loginAddress(testingSiteBase)) {
        for (auto& c : controls_)
            if (c.name == k超文本浏览框1) c.text = login_;
        def_.controls = controls_;
    }
    TrainingWindowAt(const TrainingWindowAt&) = delete;
    TrainingWindowAt& operator=(const TrainingWindowAt&) = delete;
    const win::WindowDef& def() const { return def_; }

private:
    std::string login_;
    std::array<win::ControlDef, kTrainingWindowControls.size()> controls_ = kTrainingWindowControls;
    win::WindowDef def_ = kTrainingWindow;
};

// The small layout, restored when leaving the theory tab.
inline constexpr int kSmallWindowWidth = 577, kSmallWindowHeight = 278;
inline constexpr int kSmallTabWidth = 566, kSmallTabHeight = 240;
inline constexpr int kSmallBrowserWidth = 552, kSmallBrowserHeight = 208;

}  // namespace tovren::ui

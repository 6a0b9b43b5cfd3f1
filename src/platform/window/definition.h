#pragma once
// Windows as data: a window is a constant table of its settings and one row per control, and
// the backends build every window from such a table. Positions and sizes are outer sizes in
// pixels; a control on a tab page is placed relative to the tab control.
#include <cstdint>
#include <span>
#include <string_view>

namespace tovren::platform::window {

enum class Kind : uint8_t {
    TabControl,
    ComboBox,          // drop-down with an editable field
    EditBox,
    Button,
    Label,             // static text on its own background
    TransparentLabel,  // static text painted straight onto the parent
    BrowserBox,
    BalloonTipBox,     // invisible component
    ZipComponent,      // invisible component
    Timer,             // invisible component
    ProgressBar,       // the system's progress bar; hidden until it has a range
};

// Invisible components have a place in the table but never a window of their own.
constexpr bool isComponent(Kind kind) {
    return kind == Kind::BalloonTipBox || kind == Kind::ZipComponent || kind == Kind::Timer;
}
// Labels and components never take the keyboard focus.
constexpr bool canTakeFocus(Kind kind) {
    return !isComponent(kind) && kind != Kind::Label && kind != Kind::TransparentLabel &&
           kind != Kind::ProgressBar;
}

enum ControlFlag : uint32_t {
    kTabStop = 1u << 0,
    kDisabled = 1u << 1,
    kMultiLine = 1u << 2,       // edit box: several lines, Enter starts a new one
    kVerticalScroll = 1u << 3,  // edit box
    kDragsWindow = 1u << 4,     // a left press on it moves the window
    kCentred = 1u << 5,         // label text centred both ways (else left, vertically centred)
};

inline constexpr int kOnWindow = -1;         // page of a control placed on the window itself
inline constexpr int32_t kSystemColour = -1;  // colour left to the system
constexpr int32_t rgb(int r, int g, int b) { return (r << 16) | (g << 8) | b; }

struct ControlDef {
    std::string_view name = {};
    Kind kind = Kind::Label;
    int page = kOnWindow;  // tab page index, or kOnWindow
    int left = 0, top = 0, width = 0, height = 0;
    std::string_view text = {};  // caption, edit text, or a browser's initial address
    std::span<const std::string_view> items = {};  // combo box items, tab titles
    uint32_t flags = 0;
    int32_t textColour = kSystemColour;        // 0xRRGGBB
    int32_t backgroundColour = kSystemColour;  // 0xRRGGBB
    std::string_view fontFace = {};  // empty: the system's default GUI font
    int fontHeight = 0;         // character height in pixels
    int fontCharset = 0;        // Windows character set number (134 = GB2312)
    int32_t period = 0;         // timer, ms
    int32_t showDelay = 0;      // balloon tip box, ms
    int32_t displayTime = 0;    // balloon tip box, ms (stored; automatic hiding is off)
};

struct WindowDef {
    std::string_view name = {};
    std::string_view caption = {};
    int width = 0, height = 0;  // outer size; windows are centred on the screen when created
    bool titleBar = true;       // fixed frame with a title bar and a close button only; else none
    bool alwaysOnTop = false;
    bool dragAnywhere = false;  // a press on the background moves the window
    bool escCloses = true;
    bool programIcon = false;
    int32_t backgroundColour = kSystemColour;
    std::span<const ControlDef> controls = {};
};

}  // namespace tovren::platform::window

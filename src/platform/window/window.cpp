#include "platform/window/window.h"

#include <algorithm>
#include <string>

#include "platform/window/backend.h"
#include "platform/window/window_system.h"

namespace tovren::platform::window {
// ---- Control ----

Control::Control(Window& window, const ControlDef& def, int index)
    : window_(window), def_(def), index_(index) {
    placed = {def.left, def.top, def.width, def.height};
}

WindowSystem& Control::system() const {
    return window_.system();
}

Rect Control::bounds() const {
    if (native == 0 || !window_.exists()) return placed;
    return system().backend().bounds(*this);
}

void Control::place(Rect r) {
    placed = r;
    if (native != 0 && window_.exists()) system().backend().setBounds(*this, r);
}

bool Control::visible() const {
    return native != 0 && window_.exists() && system().backend().visible(*this);
}

bool Control::hasFocus() const {
    return native != 0 && window_.focusedControl() == this;
}

// ---- EditBox, ComboBox ----

std::string EditBox::text() const {
    return window().exists() ? system().backend().text(*this) : std::string();
}
void EditBox::setText(std::string_view text) {
    if (window().exists()) system().backend().setText(*this, text);
}

std::string ComboBox::text() const {
    return window().exists() ? system().backend().text(*this) : std::string();
}
void ComboBox::setText(std::string_view text) {
    if (window().exists()) system().backend().setText(*this, text);
}
int32_t ComboBox::itemCount() const {
    return window().exists() ? system().backend().itemCount(*this) : 0;
}
std::string ComboBox::itemText(int32_t index) const {
    if (index < 0 || index >= itemCount()) return {};
    return system().backend().itemText(*this, index);
}
int32_t ComboBox::itemValue(int32_t index) const {
    if (index < 0 || index >= static_cast<int32_t>(values.size())) return 0;
    return values[static_cast<size_t>(index)];
}
void ComboBox::addItem(std::string_view text, int32_t value) {
    if (!window().exists()) return;
    system().backend().addItem(*this, text);
    values.push_back(value);
}
void ComboBox::clearItems() {
    if (!window().exists()) return;
    system().backend().clearItems(*this);
    values.clear();
}
int32_t ComboBox::currentSelection() const {
    return window().exists() ? system().backend().selection(*this) : -1;
}
void ComboBox::setCurrentSelection(int32_t index) {
    if (!window().exists()) return;
    index = std::min(index, itemCount() - 1);
    if (index < -1) index = -1;
    system().backend().setSelection(*this, index);
}

// ---- TabControl ----

int32_t TabControl::currentTab() const {
    return window().exists() ? system().backend().currentTab(*this) : 0;
}
void TabControl::setCurrentTab(int32_t index) {
    if (!window().exists() || tabCount() == 0) return;
    index = std::clamp(index, 0, tabCount() - 1);
    system().backend().setCurrentTab(*this, index);
    system().switchPage(*this, true);
}

// ---- Timer ----

void Timer::setPeriod(int32_t ms) {
    ms = std::max(ms, 0);
    if (ms == period_) return;
    period_ = ms;
    if (window().exists()) system().timerChanged(*this);
}

// ---- BrowserBox, BalloonTipBox ----

void BrowserBox::set地址(std::string_view address) {
    if (window().exists()) system().backend().navigate(*this, address);
}
std::string BrowserBox::状态条文本() const {
    return window().exists() ? system().backend().statusText(*this) : std::string();
}

bool BalloonTipBox::attachTool(Control& tool, std::string_view text, int32_t icon) {
    if (!window().exists() || tool.native == 0) return false;
    return system().backend().attachTip(*this, tool, text, icon);
}

// ---- ProgressBar ----

void ProgressBar::setRange(int32_t range) {
    if (!window().exists()) return;
    Backend& backend = system().backend();
    if (range <= 0) {
        backend.setVisible(*this, false);
        backend.setProgress(*this, 0, 0);
        return;
    }
    backend.setProgress(*this, std::clamp(backend.progressPosition(*this), 0, range), range);
    backend.setVisible(*this, true);
}
void ProgressBar::setPosition(int32_t position) {
    if (!window().exists() || !visible()) return;  // a hidden bar has no range to be in
    Backend& backend = system().backend();
    int32_t range = backend.progressRange(*this);
    backend.setProgress(*this, std::clamp(position, 0, range), range);
}
int32_t ProgressBar::range() const {
    return window().exists() && visible() ? system().backend().progressRange(*this) : 0;
}
int32_t ProgressBar::position() const {
    return window().exists() && visible() ? system().backend().progressPosition(*this) : 0;
}

// ---- Window ----

Window::Window(WindowSystem& system, const WindowDef& def, Window* owner)
    : system_(system), def_(def), owner_(owner) {}

Rect Window::bounds() const {
    return exists_ ? system_.backend().bounds(*this) : Rect{};
}
void Window::place(Rect r) {
    if (exists_) system_.backend().setBounds(*this, r);
}

bool Window::alwaysOnTop() const {
    return exists_ && system_.backend().topmost(*this);
}
void Window::setAlwaysOnTop(bool on) {
    if (exists_) system_.backend().setTopmost(*this, on);
}
bool Window::enabled() const {
    return exists_ && system_.backend().enabled(*this);
}
bool Window::visible() const {
    return exists_ && system_.backend().visible(*this);
}

void Window::destroy() {
    system_.requestDestroy(*this);
}

Control& Window::control(std::string_view name) {
    for (auto& c : controls_)
        if (c->name() == name) return *c;
    system_.fatalFault("窗口 " + std::string(def_.name) + " 中没有控件 " + std::string(name) +
                       "，程序无法继续运行。");
}

Control& Window::checked(std::string_view name, Kind kind) {
    Control& c = control(name);
    if (c.kind() != kind)
        system_.fatalFault("控件 " + std::string(name) + " 的类型不对，程序无法继续运行。");
    return c;
}

Control* Window::focusedControl() const {
    if (!exists_) return nullptr;
    uintptr_t focus = system_.backend().focus(*this);
    if (focus == 0) return nullptr;
    for (auto& c : controls_)
        if (c->native == focus) return c.get();
    return nullptr;
}

}  // namespace tovren::platform::window

#pragma once
// The simulated user, for tests written once and run on every backend. Each action is queued
// as the system would queue the user's input, and everything it causes is dispatched before the
// action returns. The driver puts its window system on a clock of its own and answers message
// boxes from a script.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/backend.h"
#include "platform/window/window_system.h"

namespace tovren::platform::window {


class Driver {
public:
    explicit Driver(WindowSystem& system);
    virtual ~Driver() = default;
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Opens the list and picks the item, as with the mouse.
    virtual void pickItem(ComboBox& combo, int32_t index) = 0;
    // Types into the combo box's edit field (replacing what it held).
    virtual void typeInto(ComboBox& combo, std::string_view text) = 0;
    virtual void click(Button& button) = 0;
    virtual void selectTab(TabControl& tab, int32_t index) = 0;
    // Puts the keyboard focus into the control, as a click into it would.
    virtual void focusOn(Control& control) = 0;
    // Esc while the window (or one of its controls) has the keyboard focus.
    virtual void pressEsc(Window& window) = 0;
    // The title bar's close button.
    virtual void close(Window& window) = 0;
    // The system asks whether the user may log off; the answer.
    virtual bool logOff() = 0;
    // A left press at (x, y) of the window's client area, routed as the system routes it;
    // whether it started a move of the window (a press on its title bar).
    virtual bool pressMovesWindow(Window& window, int32_t x, int32_t y) = 0;
    // Whether the pointer resting at (x, y) of the client area is the four-headed move arrow.
    virtual bool showsMovePointer(Window& window, int32_t x, int32_t y) = 0;
    // Runs `action` from the loop, behind everything queued so far.
    virtual void later(std::function<void()> action) = 0;
    // The browser reports a status text, or asks to open a new window (true: it may).
    virtual void reportStatusText(BrowserBox& browser, std::string_view text) = 0;
    virtual bool requestNewWindow(BrowserBox& browser) = 0;
    // Every address the browser was sent to, in order.
    virtual std::vector<std::string> navigations(const BrowserBox& browser) const = 0;
    // Tips attached to a balloon tip box: "tool name|text|icon".
    virtual std::vector<std::string> tips(const BalloonTipBox& box) const = 0;
    // Every shell call, in order, as "verb|path"; the driver keeps them from the real shell.
    virtual std::vector<std::string> shellCalls() const = 0;
    virtual void setScreenSize(Size size) = 0;

    // Answers for the next message boxes, in order; a box with no answer left gets None.
    void answer(Answer next) { answers_.push_back(next); }
    const std::vector<MessageBoxCall>& messageBoxes() const { return shown_; }
    // Message boxes shown while a window was still enabled (none should be).
    int boxesWithEnabledWindows() const { return boxesWithEnabledWindows_; }
    void advanceClock(int64_t ms) { system_.advanceClock(ms); }
    void settle() { system_.settle(); }
    WindowSystem& system() { return system_; }

protected:
    WindowSystem& system_;

private:
    std::deque<Answer> answers_;
    std::vector<MessageBoxCall> shown_;
    int boxesWithEnabledWindows_ = 0;
};

// Each backend library provides these two: the backend itself and its driver.
std::unique_ptr<Backend> makeBackend();
std::unique_ptr<Driver> makeDriver(WindowSystem& system);

}  // namespace tovren::platform::window

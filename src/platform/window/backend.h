#pragma once
// What a backend does for the framework: the operating system's side of windows and controls.
// Handlers never see this; they use window.h and window_system.h.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/window/window_system.h"

namespace tovren::platform::window {

class Backend {
public:
    virtual ~Backend() = default;

    // Called once by the WindowSystem that owns the backend.
    virtual void attach(WindowSystem& system) = 0;
    // The component services (OLE on Windows): released at the end and at an immediate exit.
    virtual void uninitialise() = 0;
    virtual Size screenSize() const = 0;

    // Makes the window at `bounds` and every control of its table, all hidden.
    virtual bool createWindow(Window& window, Rect bounds) = 0;
    virtual void destroyWindow(Window& window) = 0;
    virtual void showWindow(Window& window) = 0;
    virtual Rect bounds(const Window& window) const = 0;
    virtual void setBounds(Window& window, Rect bounds) = 0;
    virtual bool topmost(const Window& window) const = 0;
    virtual void setTopmost(Window& window, bool on) = 0;
    virtual bool enabled(const Window& window) const = 0;
    virtual void setEnabled(Window& window, bool on) = 0;
    virtual bool visible(const Window& window) const = 0;

    virtual Rect bounds(const Control& control) const = 0;
    virtual void setBounds(Control& control, Rect bounds) = 0;
    virtual bool visible(const Control& control) const = 0;
    virtual void setVisible(Control& control, bool on) = 0;
    virtual void setFocus(Control& control) = 0;
    // The native handle of the control with the keyboard focus in the window, or 0.
    virtual uintptr_t focus(const Window& window) const = 0;

    virtual std::string text(const Control& control) const = 0;
    virtual void setText(Control& control, std::string_view text) = 0;
    virtual int32_t itemCount(const Control& combo) const = 0;
    virtual std::string itemText(const Control& combo, int32_t index) const = 0;
    virtual void addItem(Control& combo, std::string_view text) = 0;
    virtual void clearItems(Control& combo) = 0;
    virtual int32_t selection(const Control& combo) const = 0;
    virtual void setSelection(Control& combo, int32_t index) = 0;
    virtual int32_t currentTab(const Control& tab) const = 0;
    virtual void setCurrentTab(Control& tab, int32_t index) = 0;

    // A progress bar's range (its end) and position, as the system holds them.
    virtual void setProgress(Control& bar, int32_t position, int32_t range) = 0;
    virtual int32_t progressPosition(const Control& bar) const = 0;
    virtual int32_t progressRange(const Control& bar) const = 0;

    virtual void navigate(Control& browser, std::string_view address) = 0;
    virtual std::string statusText(const Control& browser) const = 0;
    virtual bool attachTip(Control& box, Control& tool, std::string_view text, int32_t icon) = 0;
    // The shell opens the path with the verb ("open", "explore"); nothing comes back.
    virtual void shellOpen(std::string_view verb, std::string_view path) = 0;

    virtual Answer messageBox(const MessageBoxCall& call) = 0;

    // Dispatches what is queued: with `wait`, blocks until something came and was handled;
    // without, returns false at once when nothing was queued.
    virtual bool pump(bool wait) = 0;
    // Makes a waiting pump return (the main loop is over).
    virtual void postQuit() = 0;
    // On the real clock: call fireDueTimers() after `ms` (negative: no timer runs).
    virtual void scheduleWake(int64_t ms) = 0;
    [[noreturn]] virtual void exitProcess(int code) = 0;
};

}  // namespace tovren::platform::window

#pragma once
// The program's windows as a whole: loading (modal or not), the queued destroy, the main loop
// and its end, timers, message boxes, the immediate exit and the fatal fault. A backend (win32
// or headless) does what the operating system does; the order of events lives here, once.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/window/window.h"

namespace tovren::platform::window {

class Backend;

struct Size {
    int32_t width = 0, height = 0;
};

enum class Buttons { Ok, YesNo };
enum class Answer { None, Ok, Yes, No };

struct MessageBoxCall {
    std::string text, title;
    Buttons buttons = Buttons::Ok;
};

class WindowSystem {
public:
    explicit WindowSystem(std::unique_ptr<Backend> backend);
    ~WindowSystem();
    WindowSystem(const WindowSystem&) = delete;
    WindowSystem& operator=(const WindowSystem&) = delete;

    Backend& backend() { return *backend_; }
    // The primary screen's size in pixels.
    Size screenSize() const;

    // Creates the window and its controls from the table, lets `bind` attach the handlers,
    // raises the created event and shows the window, unless the created handler destroyed it.
    // Modal: every other window is disabled and the call returns once the window has been
    // destroyed, after they are enabled again. Nothing (null) when the window cannot be made.
    Window* load(const WindowDef& def, Window* owner, bool modal,
                 const std::function<void(Window&)>& bind = {});
    // The main loop: returns when the last window has gone (at once when none exists).
    void run();
    bool anyWindowExists() const;
    // Every window loaded so far, destroyed ones included.
    const std::vector<std::unique_ptr<Window>>& windows() const { return windows_; }

    // Hands the path to the system shell with the verb ("open" a document, "explore" a
    // folder). Nothing comes back: a failure shows only as nothing opening.
    void shellOpen(std::string_view verb, std::string_view path);

    // No owner, modal to the whole program: every window is disabled while it is up.
    Answer messageBox(std::string_view text, std::string_view title, Buttons buttons);

    // The clean-up runs at most once: at the normal end or at an immediate exit.
    void setCleanUp(std::function<void()> cleanUp) { cleanUp_ = std::move(cleanUp); }
    void runCleanUp();
    // Clean-up, the component services let go, and the process ends with `code` at once;
    // no window event is raised.
    [[noreturn]] void exitNow(int code);
    // One message box, then the process ends with -1; no clean-up. From any thread: off the
    // window thread the box is shown without touching the windows. Memory that runs out
    // anywhere while this system exists ends here too, with kOutOfMemoryMessage.
    [[noreturn]] void fatalFault(std::string_view message);
    static constexpr std::string_view kFaultTitle = "Tovren";
    static constexpr std::string_view kOutOfMemoryMessage = "内存不足，程序无法继续运行。";

    // Tests answer message boxes themselves (each call is passed on instead of being shown).
    void setMessageBoxAnswerer(std::function<Answer(const MessageBoxCall&)> answerer) {
        answerer_ = std::move(answerer);
    }
    // A clock that moves only when told to: timers fire from it, and a loop with nothing left
    // to do moves it on to the next timer.
    void useVirtualClock() { virtualClock_ = true; }
    bool virtualClock() const { return virtualClock_; }
    // Moves the virtual clock on by `ms`, firing each timer when its time comes.
    void advanceClock(int64_t ms);
    int64_t now() const;
    // Dispatches everything queued without moving the clock.
    void settle();

    // Raised by the backends when the user acts or the system asks.
    void userClose(Window& window);
    // A log-off or shut-down query to one window: false refuses it.
    bool queryEndSession(Window& window);
    void clicked(Button& button);
    void listItemSelected(ComboBox& combo);
    void tabSelected(TabControl& tab);
    std::optional<bool> newWindowRequested(BrowserBox& browser);
    void fireDueTimers();

    // Used by the controls.
    void switchPage(TabControl& tab, bool giveFocus);
    void timerChanged(Timer& timer);
    void requestDestroy(Window& window);

private:
    template <class F>
    auto raise(F&& handler) {
        ++handlerDepth_;
        struct Leave {
            WindowSystem& s;
            ~Leave() { s.leaveHandler(); }
        } leave{*this};
        return handler();
    }
    static void outOfMemoryFault(void* system);
    void leaveHandler();
    void destroyNow(Window& window);
    void pumpOnce();
    void focusFirstOfPage(Window& window, int page);
    int64_t nextTimerDue() const;
    void rescheduleWake();

    std::unique_ptr<Backend> backend_;
    std::thread::id windowThread_ = std::this_thread::get_id();
    std::vector<std::unique_ptr<Window>> windows_;  // kept for the whole run: handlers hold references
    std::vector<Timer*> runningTimers_;
    struct PendingDestroy {
        Window* window;
        int depth;
    };
    std::vector<PendingDestroy> pendingDestroys_;
    int handlerDepth_ = 0;
    bool mainLoopStarted_ = false;
    bool quit_ = false;
    bool cleanedUp_ = false;
    bool virtualClock_ = false;
    int64_t virtualNow_ = 0;
    std::function<void()> cleanUp_;
    std::function<Answer(const MessageBoxCall&)> answerer_;
};

}  // namespace tovren::platform::window

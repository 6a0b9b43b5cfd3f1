#include "platform/window/window_system.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/out_of_memory.h"
#include "platform/window/backend.h"

namespace tovren::platform::window {
namespace {

constexpr int64_t kNoTimer = std::numeric_limits<int64_t>::max();

std::unique_ptr<Control> makeControl(Window& window, const ControlDef& def, int index) {
    switch (def.kind) {
        case Kind::TabControl: return std::make_unique<TabControl>(window, def, index);
        case Kind::ComboBox: return std::make_unique<ComboBox>(window, def, index);
        case Kind::EditBox: return std::make_unique<EditBox>(window, def, index);
        case Kind::Button: return std::make_unique<Button>(window, def, index);
        case Kind::Label:
        case Kind::TransparentLabel: return std::make_unique<Label>(window, def, index);
        case Kind::BrowserBox: return std::make_unique<BrowserBox>(window, def, index);
        case Kind::BalloonTipBox: return std::make_unique<BalloonTipBox>(window, def, index);
        case Kind::ZipComponent: return std::make_unique<ZipComponent>(window, def, index);
        case Kind::Timer: return std::make_unique<Timer>(window, def, index);
        case Kind::ProgressBar: return std::make_unique<ProgressBar>(window, def, index);
    }
    return std::make_unique<Label>(window, def, index);
}

}  // namespace

WindowSystem::WindowSystem(std::unique_ptr<Backend> backend) : backend_(std::move(backend)) {
    backend_->attach(*this);
    routeOutOfMemory();
    setOutOfMemoryRoutine(&WindowSystem::outOfMemoryFault, this);
}

WindowSystem::~WindowSystem() {
    clearOutOfMemoryRoutine(this);
    // Windows still open at the end go without events.
    for (auto& w : windows_)
        if (w->exists()) backend_->destroyWindow(*w);
}

Size WindowSystem::screenSize() const { return backend_->screenSize(); }

int64_t WindowSystem::now() const {
    if (virtualClock_) return virtualNow_;
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool WindowSystem::anyWindowExists() const {
    return std::any_of(windows_.begin(), windows_.end(), [](auto& w) { return w->exists(); });
}

Window* WindowSystem::load(const WindowDef& def, Window* owner, bool modal,
                           const std::function<void(Window&)>& bind) {
    auto made = std::make_unique<Window>(*this, def, owner);
    Window& window = *made;
    int index = 0;
    for (const ControlDef& row : def.controls) window.controls_.push_back(makeControl(window, row, index++));

    Size screen = screenSize();
    Rect bounds{(screen.width - def.width) / 2, (screen.height - def.height) / 2, def.width, def.height};
    if (!backend_->createWindow(window, bounds)) {
        // What was made goes now: nothing may outlive the record it points at.
        if (window.native != 0) backend_->destroyWindow(window);
        return nullptr;
    }
    window.exists_ = true;
    windows_.push_back(std::move(made));

    for (auto& c : window.controls_) {
        if (c->kind() == Kind::Timer && c->def().period > 0) {
            static_cast<Timer&>(*c).setPeriod(c->def().period);
        } else if (c->kind() == Kind::TabControl) {
            switchPage(static_cast<TabControl&>(*c), false);
        }
    }

    if (bind) bind(window);
    if (window.onCreated) raise([&] { window.onCreated(); });
    if (!window.exists()) return &window;

    std::vector<Window*> disabled;
    if (modal) {
        for (auto& other : windows_) {
            if (other.get() != &window && other->exists() && other->enabled()) {
                backend_->setEnabled(*other, false);
                disabled.push_back(other.get());
            }
        }
    }
    backend_->showWindow(window);
    for (auto& c : window.controls_)
        if (c->kind() == Kind::TabControl) focusFirstOfPage(window, static_cast<TabControl&>(*c).currentTab());
    if (modal) {
        while (window.exists() && !quit_) pumpOnce();
        for (Window* other : disabled)
            if (other->exists()) backend_->setEnabled(*other, true);
    }
    return &window;
}

void WindowSystem::run() {
    mainLoopStarted_ = true;
    if (!anyWindowExists()) return;
    while (!quit_) pumpOnce();
}

void WindowSystem::pumpOnce() {
    if (!virtualClock_) {
        backend_->pump(true);
        return;
    }
    if (backend_->pump(false)) return;
    int64_t due = nextTimerDue();
    if (due == kNoTimer) {
        // Nothing is queued and no timer runs: nothing could ever happen on this clock.
        std::fputs("window loop: nothing left to wait for (no input queued, no timer running)\n", stderr);
        std::abort();
    }
    virtualNow_ = std::max(virtualNow_, due);
    fireDueTimers();
}

void WindowSystem::settle() {
    while (backend_->pump(false)) {
    }
}

void WindowSystem::advanceClock(int64_t ms) {
    int64_t until = virtualNow_ + ms;
    settle();
    for (;;) {
        int64_t due = nextTimerDue();
        if (due > until) break;
        virtualNow_ = std::max(virtualNow_, due);
        fireDueTimers();
        settle();
    }
    virtualNow_ = until;
}

void WindowSystem::shellOpen(std::string_view verb, std::string_view path) { backend_->shellOpen(verb, path); }

Answer WindowSystem::messageBox(std::string_view text, std::string_view title, Buttons buttons) {
    std::vector<Window*> disabled;
    for (auto& w : windows_) {
        if (w->exists() && w->enabled()) {
            backend_->setEnabled(*w, false);
            disabled.push_back(w.get());
        }
    }
    MessageBoxCall call{std::string(text), std::string(title), buttons};
    Answer answer = answerer_ ? answerer_(call) : backend_->messageBox(call);
    for (Window* w : disabled)
        if (w->exists()) backend_->setEnabled(*w, true);
    return answer;
}

void WindowSystem::runCleanUp() {
    if (cleanedUp_) return;
    cleanedUp_ = true;
    if (cleanUp_) cleanUp_();
}

void WindowSystem::exitNow(int code) {
    runCleanUp();
    backend_->uninitialise();
    backend_->exitProcess(code);
    std::_Exit(code);  // not reached: the backend ends the process
}

void WindowSystem::fatalFault(std::string_view message) {
    static std::atomic<bool> faulting{false};
    static thread_local bool showing = false;
    // A fault while this thread's message is up (no memory for the box): nothing more to show.
    if (showing) backend_->exitProcess(-1);
    showing = true;
    // Another thread's message is up: that one ends the program.
    if (faulting.exchange(true))
        for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    if (std::this_thread::get_id() == windowThread_) {
        messageBox(message, kFaultTitle, Buttons::Ok);
    } else {
        // The windows belong to the window thread, which goes on meanwhile: they are left alone.
        MessageBoxCall call{std::string(message), std::string(kFaultTitle), Buttons::Ok};
        if (answerer_)
            answerer_(call);
        else
            backend_->messageBox(call);
    }
    backend_->exitProcess(-1);
    std::_Exit(-1);
}

void WindowSystem::outOfMemoryFault(void* system) {
    static_cast<WindowSystem*>(system)->fatalFault(kOutOfMemoryMessage);
}

// ---- events ----

void WindowSystem::leaveHandler() {
    int depth = handlerDepth_--;
    // Destroys asked for by the handler that just returned (or by handlers it ran) happen now.
    std::vector<Window*> due;
    auto it = std::remove_if(pendingDestroys_.begin(), pendingDestroys_.end(), [&](const PendingDestroy& p) {
        if (p.depth < depth) return false;
        due.push_back(p.window);
        return true;
    });
    pendingDestroys_.erase(it, pendingDestroys_.end());
    for (Window* w : due) destroyNow(*w);
}

void WindowSystem::requestDestroy(Window& window) {
    if (!window.exists()) return;
    if (handlerDepth_ == 0) {
        destroyNow(window);
        return;
    }
    pendingDestroys_.push_back({&window, handlerDepth_});
}

void WindowSystem::destroyNow(Window& window) {
    if (!window.exists() || window.dying_) return;
    window.dying_ = true;
    // Owned windows go first, as the system would take them with their owner.
    for (auto& other : windows_)
        if (other->owner() == &window && other->exists()) destroyNow(*other);
    if (window.onWillBeDestroyed) raise([&] { window.onWillBeDestroyed(); });
    for (auto& c : window.controls_) {
        if (c->kind() != Kind::Timer) continue;
        auto& timer = static_cast<Timer&>(*c);
        runningTimers_.erase(std::remove(runningTimers_.begin(), runningTimers_.end(), &timer),
                             runningTimers_.end());
    }
    backend_->destroyWindow(window);
    window.exists_ = false;
    rescheduleWake();
    if (!anyWindowExists() && mainLoopStarted_ && !quit_) {
        quit_ = true;
        backend_->postQuit();
    }
}

void WindowSystem::userClose(Window& window) {
    if (!window.exists() || window.dying_) return;
    if (window.onCanBeClosed) {
        std::optional<bool> result = raise([&] { return window.onCanBeClosed(); });
        if (result == false) return;
    }
    destroyNow(window);
}

bool WindowSystem::queryEndSession(Window& window) {
    if (!window.exists() || !window.onCanBeClosed) return true;
    std::optional<bool> result = raise([&] { return window.onCanBeClosed(); });
    return result != false;
}

void WindowSystem::clicked(Button& button) {
    if (button.window().exists() && button.onClicked) raise([&] { button.onClicked(); });
}

void WindowSystem::listItemSelected(ComboBox& combo) {
    if (combo.window().exists() && combo.onListItemSelected) raise([&] { combo.onListItemSelected(); });
}

void WindowSystem::tabSelected(TabControl& tab) {
    if (!tab.window().exists()) return;
    if (tab.onTabChanged) raise([&] { tab.onTabChanged(); });
    if (tab.window().exists()) switchPage(tab, true);
}

std::optional<bool> WindowSystem::newWindowRequested(BrowserBox& browser) {
    if (!browser.window().exists() || !browser.on即将打开新窗口) return std::nullopt;
    return raise([&] { return browser.on即将打开新窗口(); });
}

// ---- pages ----

void WindowSystem::switchPage(TabControl& tab, bool giveFocus) {
    Window& window = tab.window();
    int page = tab.currentTab();
    for (auto& c : window.controls_) {
        if (c->def().page == kOnWindow || c->native == 0) continue;
        backend_->setVisible(*c, c->def().page == page);
    }
    if (giveFocus) focusFirstOfPage(window, page);
}

void WindowSystem::focusFirstOfPage(Window& window, int page) {
    for (auto& c : window.controls_) {
        const ControlDef& d = c->def();
        if (d.page != page || c->native == 0 || !canTakeFocus(d.kind) || (d.flags & kDisabled)) continue;
        backend_->setFocus(*c);
        return;
    }
}

// ---- timers ----

void WindowSystem::timerChanged(Timer& timer) {
    runningTimers_.erase(std::remove(runningTimers_.begin(), runningTimers_.end(), &timer), runningTimers_.end());
    if (timer.period_ > 0) {
        timer.nextDue_ = now() + timer.period_;
        runningTimers_.push_back(&timer);
    }
    rescheduleWake();
}

int64_t WindowSystem::nextTimerDue() const {
    int64_t due = kNoTimer;
    for (Timer* t : runningTimers_)
        if (!t->firing_) due = std::min(due, t->nextDue_);
    return due;
}

void WindowSystem::fireDueTimers() {
    for (;;) {
        int64_t at = now();
        Timer* next = nullptr;
        for (Timer* t : runningTimers_)
            if (!t->firing_ && t->nextDue_ <= at && (!next || t->nextDue_ < next->nextDue_)) next = t;
        if (!next) break;
        next->nextDue_ = at + next->period_;
        next->firing_ = true;
        if (next->onTimer) raise([&] { next->onTimer(); });
        next->firing_ = false;
    }
    rescheduleWake();
}

void WindowSystem::rescheduleWake() {
    if (virtualClock_) return;
    int64_t due = nextTimerDue();
    backend_->scheduleWake(due == kNoTimer ? -1 : std::max<int64_t>(due - now(), 0));
}

}  // namespace tovren::platform::window

// An in-memory backend with no pixels: windows and controls are records, input is a queue of
// actions, and the screen has whatever size a test sets.
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>

#include "platform/window/backend.h"
#include "platform/window/driver.h"

namespace tovren::platform::window {
namespace {

struct ControlRecord {
    Rect bounds;
    bool visible = true;
    std::string text;
    std::vector<std::string> items;
    int32_t selection = -1;
    int32_t tab = 0;
    std::vector<std::string> navigations;
    std::string statusText;
    std::vector<std::string> tips;
    int32_t progressPosition = 0, progressRange = 0;
};

struct WindowRecord {
    Rect bounds;
    bool topmost = false, enabled = true, visible = false;
    uintptr_t focus = 0;
};

class HeadlessBackend final : public Backend {
public:
    void attach(WindowSystem& system) override { system_ = &system; }
    void uninitialise() override {}
    Size screenSize() const override { return screen_; }

    bool createWindow(Window& window, Rect bounds) override {
        windows_.push_back({bounds, window.def().alwaysOnTop, true, false, 0});
        window.native = windows_.size();
        for (auto& c : window.controls()) {
            const ControlDef& d = c->def();
            if (isComponent(d.kind)) continue;
            ControlRecord r;
            r.bounds = {d.left, d.top, d.width, d.height};
            r.text = std::string(d.text);
            for (auto item : d.items) r.items.emplace_back(item);
            if (d.kind == Kind::ComboBox && !r.items.empty()) r.selection = 0;
            if (d.kind == Kind::BrowserBox && !d.text.empty()) r.navigations.emplace_back(d.text);
            if (d.kind == Kind::ProgressBar) r.visible = false;
            controls_.push_back(std::move(r));
            c->native = controls_.size();
        }
        return true;
    }
    void destroyWindow(Window& window) override { win(window).visible = false; }
    void showWindow(Window& window) override { win(window).visible = true; }
    Rect bounds(const Window& window) const override { return win(window).bounds; }
    void setBounds(Window& window, Rect r) override { win(window).bounds = r; }
    bool topmost(const Window& window) const override { return win(window).topmost; }
    void setTopmost(Window& window, bool on) override { win(window).topmost = on; }
    bool enabled(const Window& window) const override { return win(window).enabled; }
    void setEnabled(Window& window, bool on) override { win(window).enabled = on; }
    bool visible(const Window& window) const override { return win(window).visible; }

    Rect bounds(const Control& c) const override { return ctl(c).bounds; }
    void setBounds(Control& c, Rect r) override { ctl(c).bounds = r; }
    bool visible(const Control& c) const override { return ctl(c).visible; }
    void setVisible(Control& c, bool on) override { ctl(c).visible = on; }
    void setFocus(Control& c) override { win(c.window()).focus = c.native; }
    uintptr_t focus(const Window& window) const override { return win(window).focus; }

    std::string text(const Control& c) const override { return ctl(c).text; }
    void setText(Control& c, std::string_view text) override { ctl(c).text = std::string(text); }
    int32_t itemCount(const Control& c) const override { return static_cast<int32_t>(ctl(c).items.size()); }
    std::string itemText(const Control& c, int32_t i) const override { return ctl(c).items.at(static_cast<size_t>(i)); }
    void addItem(Control& c, std::string_view text) override { ctl(c).items.emplace_back(text); }
    void clearItems(Control& c) override {
        ControlRecord& r = ctl(c);
        r.items.clear();
        r.selection = -1;
        r.text.clear();
    }
    int32_t selection(const Control& c) const override { return ctl(c).selection; }
    void setSelection(Control& c, int32_t i) override {
        ControlRecord& r = ctl(c);
        r.selection = i;
        r.text = i >= 0 ? r.items[static_cast<size_t>(i)] : std::string();
    }
    int32_t currentTab(const Control& c) const override { return ctl(c).tab; }
    void setCurrentTab(Control& c, int32_t i) override { ctl(c).tab = i; }

    void setProgress(Control& c, int32_t position, int32_t range) override {
        ctl(c).progressPosition = position;
        ctl(c).progressRange = range;
    }
    int32_t progressPosition(const Control& c) const override { return ctl(c).progressPosition; }
    int32_t progressRange(const Control& c) const override { return ctl(c).progressRange; }

    void navigate(Control& c, std::string_view address) override { ctl(c).navigations.emplace_back(address); }
    std::string statusText(const Control& c) const override { return ctl(c).statusText; }
    bool attachTip(Control& box, Control& tool, std::string_view text, int32_t icon) override {
        tips_[&box].push_back(std::string(tool.name()) + "|" + std::string(text) + "|" + std::to_string(icon));
        return true;
    }
    void shellOpen(std::string_view verb, std::string_view path) override {
        shellCalls_.push_back(std::string(verb) + "|" + std::string(path));
    }

    Answer messageBox(const MessageBoxCall& call) override {
        std::fprintf(stderr, "headless message box: %s: %s\n", call.title.c_str(), call.text.c_str());
        return Answer::None;
    }

    bool pump(bool) override {
        if (queue_.empty()) return false;
        auto action = std::move(queue_.front());
        queue_.pop_front();
        action();
        return true;
    }
    void postQuit() override {}
    void scheduleWake(int64_t) override {}
    [[noreturn]] void exitProcess(int code) override {
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(code);
    }

    // For the driver.
    void post(std::function<void()> action) { queue_.push_back(std::move(action)); }
    void setScreen(Size s) { screen_ = s; }
    ControlRecord& ctl(const Control& c) { return controls_.at(c.native - 1); }
    const ControlRecord& ctl(const Control& c) const { return controls_.at(c.native - 1); }
    WindowRecord& win(const Window& w) { return windows_.at(w.native - 1); }
    const WindowRecord& win(const Window& w) const { return windows_.at(w.native - 1); }
    std::map<const Control*, std::vector<std::string>> tips_;
    std::vector<std::string> shellCalls_;
    WindowSystem* system_ = nullptr;

private:
    Size screen_{1024, 768};
    std::deque<WindowRecord> windows_;
    std::deque<ControlRecord> controls_;
    std::deque<std::function<void()>> queue_;
};

class HeadlessDriver final : public Driver {
public:
    explicit HeadlessDriver(WindowSystem& system)
        : Driver(system), backend_(static_cast<HeadlessBackend&>(system.backend())) {}

    void pickItem(ComboBox& combo, int32_t index) override {
        input([this, &combo, index] {
            if (!usable(combo)) return;
            backend_.setSelection(combo, index);
            // The event follows the pick, once the combo box has finished with it.
            backend_.post([this, &combo] { system_.listItemSelected(combo); });
        });
    }
    void typeInto(ComboBox& combo, std::string_view text) override {
        input([this, &combo, t = std::string(text)] {
            if (usable(combo)) backend_.ctl(combo).text = t;
        });
    }
    void click(Button& button) override {
        input([this, &button] {
            if (usable(button)) system_.clicked(button);
        });
    }
    void selectTab(TabControl& tab, int32_t index) override {
        input([this, &tab, index] {
            if (!usable(tab) || index < 0 || index >= tab.tabCount() || index == tab.currentTab()) return;
            backend_.setCurrentTab(tab, index);
            system_.tabSelected(tab);
        });
    }
    void focusOn(Control& control) override {
        input([this, &control] {
            if (usable(control) && canTakeFocus(control.kind())) backend_.setFocus(control);
        });
    }
    void pressEsc(Window& window) override {
        input([this, &window] {
            if (window.exists() && window.enabled() && window.def().escCloses) system_.userClose(window);
        });
    }
    void close(Window& window) override {
        input([this, &window] {
            if (window.exists() && window.enabled() && window.def().titleBar) system_.userClose(window);
        });
    }
    bool logOff() override {
        bool allowed = true;
        input([this, &allowed] {
            // The system asks each window in turn and stops at the first refusal.
            for (auto& w : system_.windows())
                if (allowed && w->exists()) allowed = system_.queryEndSession(*w);
        });
        return allowed;
    }
    bool pressMovesWindow(Window& window, int32_t x, int32_t y) override {
        if (!window.exists() || !window.enabled() || !window.def().dragAnywhere) return false;
        const Control* hit = controlAt(window, x, y);
        return !hit || (hit->def().flags & kDragsWindow);
    }
    bool showsMovePointer(Window& window, int32_t x, int32_t y) override {
        // Only the background shows it; the drag label keeps its own pointer.
        return window.exists() && window.def().dragAnywhere && !controlAt(window, x, y);
    }
    void later(std::function<void()> action) override { backend_.post(std::move(action)); }
    void reportStatusText(BrowserBox& browser, std::string_view text) override {
        input([this, &browser, t = std::string(text)] { backend_.ctl(browser).statusText = t; });
    }
    bool requestNewWindow(BrowserBox& browser) override {
        bool allowed = true;
        input([this, &browser, &allowed] { allowed = system_.newWindowRequested(browser) != false; });
        return allowed;
    }
    std::vector<std::string> navigations(const BrowserBox& browser) const override {
        return backend_.ctl(browser).navigations;
    }
    std::vector<std::string> tips(const BalloonTipBox& box) const override {
        auto it = backend_.tips_.find(&box);
        return it == backend_.tips_.end() ? std::vector<std::string>{} : it->second;
    }
    std::vector<std::string> shellCalls() const override { return backend_.shellCalls_; }
    void setScreenSize(Size size) override { backend_.setScreen(size); }

private:
    void input(std::function<void()> action) {
        backend_.post(std::move(action));
        system_.settle();
    }
    // The control that takes a press at a client point: the topmost visible one under it, a
    // disabled one passed by as the system passes it by (the tab control under it takes it).
    static const Control* controlAt(const Window& window, int32_t x, int32_t y) {
        const Control* hit = nullptr;
        for (auto& c : window.controls()) {
            if (!c->visible() || isComponent(c->kind()) || (c->def().flags & kDisabled)) continue;
            int32_t left = c->left(), top = c->top();
            if (c->def().page != kOnWindow) {
                for (auto& t : window.controls())
                    if (t->kind() == Kind::TabControl) left += t->left(), top += t->top();
            }
            if (x >= left && x < left + c->width() && y >= top && y < top + c->height()) hit = c.get();
        }
        return hit;
    }
    static bool usable(const Control& c) {
        return c.window().exists() && c.window().enabled() && c.visible() && !(c.def().flags & kDisabled);
    }

    HeadlessBackend& backend_;
};

}  // namespace

std::unique_ptr<Backend> makeBackend() { return std::make_unique<HeadlessBackend>(); }
std::unique_ptr<Driver> makeDriver(WindowSystem& system) { return std::make_unique<HeadlessDriver>(system); }

}  // namespace tovren::platform::window

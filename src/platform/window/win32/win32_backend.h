#pragma once
// The Win32 backend: real windows and common controls, driven through the W API.
#include <windows.h>

#include <map>
#include <set>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/window/backend.h"
#include "platform/window/win32/browser_control.h"

namespace tovren::platform::window {

class Win32Backend final : public Backend {
public:
    Win32Backend();
    ~Win32Backend() override;

    void attach(WindowSystem& system) override;
    void uninitialise() override;
    Size screenSize() const override;

    bool createWindow(Window& window, Rect bounds) override;
    void destroyWindow(Window& window) override;
    void showWindow(Window& window) override;
    Rect bounds(const Window& window) const override;
    void setBounds(Window& window, Rect bounds) override;
    bool topmost(const Window& window) const override;
    void setTopmost(Window& window, bool on) override;
    bool enabled(const Window& window) const override;
    void setEnabled(Window& window, bool on) override;
    bool visible(const Window& window) const override;

    Rect bounds(const Control& control) const override;
    void setBounds(Control& control, Rect bounds) override;
    bool visible(const Control& control) const override;
    void setVisible(Control& control, bool on) override;
    void setFocus(Control& control) override;
    uintptr_t focus(const Window& window) const override;

    std::string text(const Control& control) const override;
    void setText(Control& control, std::string_view text) override;
    int32_t itemCount(const Control& combo) const override;
    std::string itemText(const Control& combo, int32_t index) const override;
    void addItem(Control& combo, std::string_view text) override;
    void clearItems(Control& combo) override;
    int32_t selection(const Control& combo) const override;
    void setSelection(Control& combo, int32_t index) override;
    int32_t currentTab(const Control& tab) const override;
    void setCurrentTab(Control& tab, int32_t index) override;

    void setProgress(Control& bar, int32_t position, int32_t range) override;  // progress_bar_win.cpp
    int32_t progressPosition(const Control& bar) const override;
    int32_t progressRange(const Control& bar) const override;

    void navigate(Control& browser, std::string_view address) override;
    std::string statusText(const Control& browser) const override;
    bool attachTip(Control& box, Control& tool, std::string_view text, int32_t icon) override;
    void shellOpen(std::string_view verb, std::string_view path) override;

    Answer messageBox(const MessageBoxCall& call) override;
    bool pump(bool wait) override;
    void postQuit() override;
    void scheduleWake(int64_t ms) override;
    [[noreturn]] void exitProcess(int code) override;

    // For the driver.
    void setScreenOverride(Size size) { screenOverride_ = size; }
    void post(std::function<void()> action);
    WebBrowserBox* browser(const Control& control) const;
    HWND tooltip(const Control& box) const;
    std::vector<std::string> tips(const Control& box) const;
    Control* controlOf(HWND hwnd) const;
    Window* windowOf(HWND hwnd) const;
    // Tests look at a title-bar press instead of letting the system start a move loop.
    bool recordCaptionPresses = false;
    int captionPresses = 0;
    // Tests keep shell calls ("verb|path") instead of letting the shell open windows.
    bool recordShellCalls = false;
    std::vector<std::string> shellCalls;
    WindowSystem& system() { return *system_; }

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK messageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK forwardingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR id, DWORD_PTR data);
    static LRESULT CALLBACK dragLabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR data);
    LRESULT handle(Window& window, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onCommand(WPARAM wParam, LPARAM lParam);
    LRESULT onNotify(LPARAM lParam);
    bool isTooltip(HWND hwnd) const;
    LRESULT onTipNotify(const NMHDR& header);
    void showTipAgain(HWND tip);
    void hideTipsOnKey(const MSG& msg);
    LRESULT onControlColour(HWND control, HDC dc, LRESULT fallback);
    bool createControl(Window& window, Control& control, HWND tabParent);
    bool preTranslate(MSG& msg);
    bool translateBrowserKey(MSG& msg);

    WindowSystem* system_ = nullptr;
    HWND messageWindow_ = nullptr;
    bool oleInitialised_ = false;
    std::optional<Size> screenOverride_;
    HFONT guiFont_ = nullptr;
    std::unordered_map<HWND, std::vector<HFONT>> fonts_;  // by window: they go with it
    std::map<int32_t, HBRUSH> brushes_;
    std::unordered_map<HWND, Control*> controls_;
    std::unordered_map<HWND, Control*> comboParts_;  // a combo box's edit field and list
    HWND backgroundHit_ = nullptr;  // the window whose background the last hit test found
    std::unordered_map<HWND, Window*> windows_;
    std::unordered_map<HWND, HWND> savedFocus_;
    std::map<const Control*, std::unique_ptr<WebBrowserBox>> browsers_;
    std::map<const Control*, HWND> tooltips_;
    std::map<HWND, ULONGLONG> tipShownAt_;  // by tooltip: when it was last shown
    std::map<const Control*, std::vector<std::string>> tips_;
    std::set<Control*> pendingPicks_;  // list-item-selected events posted, not yet delivered
};

}  // namespace tovren::platform::window

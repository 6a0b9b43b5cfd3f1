// The simulated user on real windows: input goes in as the messages the system would send.
#include "platform/window/win32/win32_backend.h"  // <windows.h> first

#include <commctrl.h>
#include <exdispid.h>

#include <optional>

#include "platform/wide.h"
#include "platform/window/driver.h"

namespace tovren::platform::window {
namespace {

HWND hwndOf(const Window& w) { return reinterpret_cast<HWND>(w.native); }
HWND hwndOf(const Control& c) { return reinterpret_cast<HWND>(c.native); }

struct Hit {
    HWND hwnd;
    LRESULT code;
};

// The window that takes mouse input at a screen point, found as the system finds it: the
// topmost visible child under the point, depth first, skipping hidden and disabled windows
// (WindowFromPoint, ChildWindowFromPointEx), and then WM_NCHITTEST: a window that answers
// HTTRANSPARENT passes the point on to the windows beneath it in the same thread (WM_NCHITTEST,
// Microsoft Learn). Nothing when no window of the tree takes it.
std::optional<Hit> hitTest(HWND hwnd, POINT screen) {
    auto style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    if (!(style & WS_VISIBLE) || (style & WS_DISABLED)) return std::nullopt;
    RECT outer{};
    GetWindowRect(hwnd, &outer);
    if (!PtInRect(&outer, screen)) return std::nullopt;
    RECT client{};
    GetClientRect(hwnd, &client);
    MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
    if (PtInRect(&client, screen)) {
        // Children come in z-order, the topmost first.
        for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            if (auto hit = hitTest(child, screen)) return hit;
    }
    LRESULT code = SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
    if (code == HTTRANSPARENT) return std::nullopt;
    return Hit{hwnd, code};
}

POINT screenPoint(const Window& window, int32_t x, int32_t y) {
    POINT p{x, y};
    ClientToScreen(hwndOf(window), &p);
    return p;
}

// The button going down and up at a screen point of a window's client area.
void pressAndRelease(HWND hwnd, POINT screen) {
    POINT p = screen;
    ScreenToClient(hwnd, &p);
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    if (GetCapture()) ReleaseCapture();
}

// A left click at a point of `target`'s client area, delivered where the system would deliver
// it; false when another window takes it (the click then does nothing here).
bool clickAt(HWND target, POINT client) {
    POINT screen = client;
    ClientToScreen(target, &screen);
    std::optional<Hit> hit = hitTest(GetAncestor(target, GA_ROOT), screen);
    if (!hit || hit->code != HTCLIENT || (hit->hwnd != target && !IsChild(target, hit->hwnd))) return false;
    pressAndRelease(hit->hwnd, screen);
    return true;
}

bool usable(const Control& c) {
    return c.window().exists() && c.window().enabled() && c.visible() && IsWindowEnabled(hwndOf(c));
}

class Win32Driver final : public Driver {
public:
    explicit Win32Driver(WindowSystem& system)
        : Driver(system), backend_(static_cast<Win32Backend&>(system.backend())) {
        backend_.recordShellCalls = true;
    }

    void pickItem(ComboBox& combo, int32_t index) override {
        if (!usable(combo)) return;
        HWND hwnd = hwndOf(combo);
        SetFocus(hwnd);
        // Drop the list, move onto the item and release the button there, as with the mouse.
        SendMessageW(hwnd, CB_SHOWDROPDOWN, TRUE, 0);
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        GetComboBoxInfo(hwnd, &info);
        RECT item{};
        SendMessageW(info.hwndList, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
        SendMessageW(info.hwndList, WM_MOUSEMOVE, 0, at);
        SendMessageW(info.hwndList, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(info.hwndList, WM_LBUTTONUP, 0, at);
        if (SendMessageW(hwnd, CB_GETDROPPEDSTATE, 0, 0)) SendMessageW(hwnd, CB_SHOWDROPDOWN, FALSE, 0);
        settle();
    }

    void typeInto(ComboBox& combo, std::string_view text) override {
        if (!usable(combo)) return;
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        GetComboBoxInfo(hwndOf(combo), &info);
        SetFocus(info.hwndItem);
        SendMessageW(info.hwndItem, EM_SETSEL, 0, -1);
        for (wchar_t ch : widen(text)) SendMessageW(info.hwndItem, WM_CHAR, ch, 1);
        settle();
    }

    void click(Button& button) override {
        if (!usable(button)) return;
        RECT r{};
        GetClientRect(hwndOf(button), &r);
        clickAt(hwndOf(button), {(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        settle();
    }

    void selectTab(TabControl& tab, int32_t index) override {
        if (!usable(tab)) return;
        RECT r{};
        if (!SendMessageW(hwndOf(tab), TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r)))
            return;
        clickAt(hwndOf(tab), {(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        settle();
    }

    void focusOn(Control& control) override {
        if (!usable(control)) return;
        HWND target = hwndOf(control);
        if (control.kind() == Kind::ComboBox) {
            COMBOBOXINFO info{};
            info.cbSize = sizeof info;
            if (GetComboBoxInfo(target, &info) && info.hwndItem) target = info.hwndItem;
        }
        SetFocus(target);
        settle();
    }

    void pressEsc(Window& window) override {
        if (!window.exists() || !window.enabled()) return;
        HWND root = hwndOf(window);
        HWND focus = GetFocus();
        HWND target = focus && (focus == root || IsChild(root, focus)) ? focus : root;
        PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(target, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
        settle();
    }

    void close(Window& window) override {
        if (!window.exists() || !window.enabled()) return;
        PostMessageW(hwndOf(window), WM_SYSCOMMAND, SC_CLOSE, 0);
        settle();
    }

    bool logOff() override {
        bool allowed = true;
        for (auto& w : system_.windows())
            if (allowed && w->exists())
                allowed = SendMessageW(hwndOf(*w), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) != FALSE;
        settle();
        return allowed;
    }

    bool pressMovesWindow(Window& window, int32_t x, int32_t y) override {
        if (!window.exists() || !window.enabled()) return false;
        POINT screen = screenPoint(window, x, y);
        std::optional<Hit> hit = hitTest(hwndOf(window), screen);
        if (!hit) return false;
        backend_.recordCaptionPresses = true;
        backend_.captionPresses = 0;
        // What the system sends for the hit: the pointer's question, then a client press or a
        // non-client one (a title bar's starts the move).
        SendMessageW(hit->hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hit->hwnd),
                     MAKELPARAM(hit->code, WM_LBUTTONDOWN));
        if (hit->code == HTCLIENT)
            pressAndRelease(hit->hwnd, screen);
        else
            SendMessageW(hit->hwnd, WM_NCLBUTTONDOWN, static_cast<WPARAM>(hit->code), MAKELPARAM(screen.x, screen.y));
        backend_.recordCaptionPresses = false;
        settle();
        return backend_.captionPresses > 0;
    }

    bool showsMovePointer(Window& window, int32_t x, int32_t y) override {
        if (!window.exists()) return false;
        POINT screen = screenPoint(window, x, y);
        std::optional<Hit> hit = hitTest(hwndOf(window), screen);
        if (!hit) return false;
        HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
        SetCursor(arrow);
        // What the system asks the window under the pointer when the pointer moves there.
        SendMessageW(hit->hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hit->hwnd), MAKELPARAM(hit->code, WM_MOUSEMOVE));
        bool move = GetCursor() == LoadCursorW(nullptr, IDC_SIZEALL);
        SetCursor(arrow);
        return move;
    }

    void later(std::function<void()> action) override { backend_.post(std::move(action)); }

    // The browser's own notifications, sent through the event sink as the browser sends them.
    void reportStatusText(BrowserBox& browser, std::string_view text) override {
        auto* b = backend_.browser(browser);
        if (!b) return;
        std::wstring wide = widen(text);
        VARIANT argument;
        VariantInit(&argument);
        argument.vt = VT_BSTR;
        argument.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        DISPPARAMS params{&argument, nullptr, 1, 0};
        b->events()->Invoke(DISPID_STATUSTEXTCHANGE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                            nullptr, nullptr, nullptr);
        VariantClear(&argument);
        settle();
    }
    bool requestNewWindow(BrowserBox& browser) override {
        auto* b = backend_.browser(browser);
        if (!b) return true;
        IDispatch* newBrowser = nullptr;
        VARIANT_BOOL cancel = VARIANT_FALSE;
        VARIANT arguments[2];
        VariantInit(&arguments[0]);
        VariantInit(&arguments[1]);
        arguments[0].vt = VT_BOOL | VT_BYREF;  // Cancel: the last argument comes first
        arguments[0].pboolVal = &cancel;
        arguments[1].vt = VT_DISPATCH | VT_BYREF;
        arguments[1].ppdispVal = &newBrowser;
        DISPPARAMS params{arguments, nullptr, 2, 0};
        b->events()->Invoke(DISPID_NEWWINDOW2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                            nullptr, nullptr);
        settle();
        return cancel == VARIANT_FALSE;
    }
    std::vector<std::string> navigations(const BrowserBox& browser) const override {
        auto* b = backend_.browser(browser);
        return b ? b->addresses() : std::vector<std::string>{};
    }
    std::vector<std::string> tips(const BalloonTipBox& box) const override { return backend_.tips(box); }
    std::vector<std::string> shellCalls() const override { return backend_.shellCalls; }
    void setScreenSize(Size size) override { backend_.setScreenOverride(size); }

private:
    Win32Backend& backend_;
};

}  // namespace

std::unique_ptr<Backend> makeBackend() { return std::make_unique<Win32Backend>(); }
std::unique_ptr<Driver> makeDriver(WindowSystem& system) { return std::make_unique<Win32Driver>(system); }

}  // namespace tovren::platform::window

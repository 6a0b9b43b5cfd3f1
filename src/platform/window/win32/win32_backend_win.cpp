#include "platform/window/win32/win32_backend.h"

#include <commctrl.h>
#include <ole2.h>

#include <algorithm>
#include <cstdlib>

#include "platform/shell.h"
#include "platform/wide.h"

namespace tovren::platform::window {
namespace {

constexpr wchar_t kWindowClass[] = L"TovrenWindow";
constexpr wchar_t kMessageClass[] = L"TovrenMessages";
constexpr wchar_t kBrowserClass[] = L"TovrenBrowserBox";
constexpr UINT kRunAction = WM_APP + 1;     // lParam: a heap std::function<void()>
constexpr UINT kListPicked = WM_APP + 2;    // lParam: the ComboBox
constexpr UINT kTipTimedOut = WM_APP + 3;   // lParam: a tooltip that its display time hid
constexpr WORD kLongestTipTime = 32767;     // ms, the longest display time a tooltip knows
constexpr int kTipWidth = 600;              // a width limit lets CR LF break a tip's lines
constexpr UINT_PTR kWakeTimer = 1;
constexpr int kComboDropHeight = 160;  // the combo box with its list dropped down
constexpr int kFirstControlId = 100;
constexpr int kProgramIcon = 1;

Win32Backend* theBackend = nullptr;  // one window thread, one backend

COLORREF colourOf(int32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

Rect rectOf(const RECT& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }

HWND hwndOf(const Window& w) { return reinterpret_cast<HWND>(w.native); }
HWND hwndOf(const Control& c) { return reinterpret_cast<HWND>(c.native); }

void registerClasses() {
    static bool done = false;
    if (done) return;
    done = true;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kBrowserClass;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    RegisterClassExW(&wc);
}

}  // namespace

Win32Backend::Win32Backend() {
    theBackend = this;
    oleInitialised_ = SUCCEEDED(OleInitialize(nullptr));
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    guiFont_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    registerClasses();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    static bool registered = false;
    if (!registered) {
        registered = true;
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = windowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kProgramIcon), IMAGE_ICON, 32, 32, 0));
        wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kProgramIcon), IMAGE_ICON, 16, 16, 0));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));  // dialog colour
        wc.lpszClassName = kWindowClass;
        RegisterClassExW(&wc);
        WNDCLASSEXW mc{};
        mc.cbSize = sizeof mc;
        mc.lpfnWndProc = messageProc;
        mc.hInstance = instance;
        mc.lpszClassName = kMessageClass;
        RegisterClassExW(&mc);
    }
    messageWindow_ = CreateWindowExW(0, kMessageClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
}

Win32Backend::~Win32Backend() {
    for (auto& [control, tip] : tooltips_) DestroyWindow(tip);
    if (messageWindow_) DestroyWindow(messageWindow_);
    // Actions posted but never run.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, kRunAction, kRunAction, PM_REMOVE))
        delete reinterpret_cast<std::function<void()>*>(msg.lParam);
    for (auto& [window, fonts] : fonts_)
        for (HFONT f : fonts) DeleteObject(f);
    for (auto& [colour, brush] : brushes_) DeleteObject(brush);
    uninitialise();
    if (theBackend == this) theBackend = nullptr;
}

void Win32Backend::attach(WindowSystem& system) { system_ = &system; }

void Win32Backend::uninitialise() {
    // Every hosted control goes before the component services do.
    browsers_.clear();
    if (oleInitialised_) OleUninitialize();
    oleInitialised_ = false;
}

Size Win32Backend::screenSize() const {
    if (screenOverride_) return *screenOverride_;
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// ---- creating ----

bool Win32Backend::createWindow(Window& window, Rect r) {
    const WindowDef& def = window.def();
    DWORD style = WS_CLIPCHILDREN;
    style |= def.titleBar ? (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU) : WS_POPUP;
    DWORD exStyle = def.alwaysOnTop ? WS_EX_TOPMOST : 0;
    HWND owner = window.owner() ? hwndOf(*window.owner()) : nullptr;
    HWND hwnd = CreateWindowExW(exStyle, kWindowClass, widen(def.caption).c_str(), style, r.left, r.top, r.width,
                                r.height, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) return false;
    window.native = reinterpret_cast<uintptr_t>(hwnd);
    windows_[hwnd] = &window;
    if (!def.programIcon) {
        SendMessageW(hwnd, WM_SETICON, ICON_BIG, 0);
        SendMessageW(hwnd, WM_SETICON, ICON_SMALL, 0);
    }
    HWND tab = nullptr;
    for (auto& c : window.controls()) {
        if (isComponent(c->kind())) continue;
        if (!createControl(window, *c, tab)) return false;
        if (c->kind() == Kind::TabControl) tab = hwndOf(*c);
    }
    return true;
}

bool Win32Backend::createControl(Window& window, Control& control, HWND tab) {
    const ControlDef& d = control.def();
    HWND parent = d.page == kOnWindow ? hwndOf(window) : tab;
    if (!parent) return false;
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    int height = d.height;
    std::wstring text = widen(d.text);
    if (d.flags & kTabStop) style |= WS_TABSTOP;
    if (d.flags & kDisabled) style |= WS_DISABLED;
    switch (d.kind) {
        case Kind::TabControl:
            cls = WC_TABCONTROLW;
            exStyle |= WS_EX_CONTROLPARENT;
            text.clear();
            break;
        case Kind::ComboBox:
            cls = WC_COMBOBOXW;
            // Common controls 6 size the list by its item count (up to 30) and ignore the window
            // height unless the combo has CBS_NOINTEGRALHEIGHT (CB_SETMINVISIBLE, Microsoft Learn).
            style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | CBS_NOINTEGRALHEIGHT | WS_VSCROLL;
            height = kComboDropHeight;
            text.clear();
            break;
        case Kind::EditBox:
            cls = L"EDIT";
            exStyle |= WS_EX_CLIENTEDGE;
            style |= ES_LEFT | ES_AUTOVSCROLL;
            if (d.flags & kMultiLine) style |= ES_MULTILINE | ES_WANTRETURN;
            if (d.flags & kVerticalScroll) style |= WS_VSCROLL;
            break;
        case Kind::Button:
            cls = L"BUTTON";
            style |= BS_PUSHBUTTON | BS_CENTER | BS_VCENTER;
            break;
        case Kind::Label:
            style |= SS_NOTIFY | SS_CENTERIMAGE | ((d.flags & kCentred) ? SS_CENTER : SS_LEFT);
            break;
        case Kind::TransparentLabel:
            style |= SS_LEFT | SS_CENTERIMAGE;
            break;
        case Kind::BrowserBox:
            cls = kBrowserClass;
            text.clear();
            break;
        case Kind::ProgressBar:
            cls = PROGRESS_CLASSW;
            style = (style & ~WS_VISIBLE) | PBS_SMOOTH;  // hidden until it has a range
            text.clear();
            break;
        default:
            return true;
    }
    HWND hwnd = CreateWindowExW(exStyle, cls, text.c_str(), style, d.left, d.top, d.width, height, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + control.index())),
                                GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) return false;
    control.native = reinterpret_cast<uintptr_t>(hwnd);
    controls_[hwnd] = &control;

    HFONT font = guiFont_;
    if (!d.fontFace.empty()) {
        font = CreateFontW(-d.fontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, static_cast<DWORD>(d.fontCharset),
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                           widen(d.fontFace).c_str());
        fonts_[hwndOf(window)].push_back(font);
    }
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    switch (d.kind) {
        case Kind::TabControl: {
            for (size_t i = 0; i < d.items.size(); ++i) {
                std::wstring title = widen(d.items[i]);
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = title.data();
                SendMessageW(hwnd, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
            }
            // Notifications of the page controls reach the window as if they were its own.
            SetWindowSubclass(hwnd, forwardingProc, 1, 0);
            break;
        }
        case Kind::ComboBox: {
            for (auto item : d.items) SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
            LRESULT itemHeight = SendMessageW(hwnd, CB_GETITEMHEIGHT, 0, 0);
            if (itemHeight > 0) SendMessageW(hwnd, CB_SETITEMHEIGHT, 0, itemHeight + 1);
            SendMessageW(hwnd, CB_LIMITTEXT, 0, 0);
            if (!d.items.empty()) SendMessageW(hwnd, CB_SETCURSEL, 0, 0);
            SetWindowTextW(hwnd, widen(d.text).c_str());
            // Its colour messages come from its inner edit field and list, with their handles.
            COMBOBOXINFO info{};
            info.cbSize = sizeof info;
            if (GetComboBoxInfo(hwnd, &info)) {
                if (info.hwndItem) comboParts_[info.hwndItem] = &control;
                if (info.hwndList) comboParts_[info.hwndList] = &control;
            }
            break;
        }
        case Kind::EditBox:
            SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);
            break;
        case Kind::Label:
            if (d.flags & kDragsWindow) SetWindowSubclass(hwnd, dragLabelProc, 1, 0);
            break;
        case Kind::BrowserBox: {
            auto browser = std::make_unique<WebBrowserBox>(hwnd);
            auto& box = static_cast<BrowserBox&>(control);
            browser->onNewWindow = [this, &box] { return system_->newWindowRequested(box); };
            // It starts loading its first page at once, hidden or not.
            if (!d.text.empty()) browser->navigate(d.text);
            browsers_[&control] = std::move(browser);
            break;
        }
        default:
            break;
    }
    return true;
}

void Win32Backend::destroyWindow(Window& window) {
    HWND hwnd = hwndOf(window);
    for (auto& c : window.controls()) {
        auto tip = tooltips_.find(c.get());
        if (tip != tooltips_.end()) {
            tipShownAt_.erase(tip->second);
            DestroyWindow(tip->second);
            tooltips_.erase(tip);
        }
        // The browser lets go of its control while the box still exists.
        browsers_.erase(c.get());
        if (c->native) controls_.erase(hwndOf(*c));
        std::erase_if(comboParts_, [&c](const auto& part) { return part.second == c.get(); });
    }
    // An owner disabled for this window takes the activation back, not another program.
    if (HWND owner = GetWindow(hwnd, GW_OWNER); owner && GetActiveWindow() == hwnd) EnableWindow(owner, TRUE);
    windows_.erase(hwnd);
    savedFocus_.erase(hwnd);
    DestroyWindow(hwnd);
    // Its controls are gone, and their fonts with them: a window loaded for every wait
    // would otherwise leave one font behind each time.
    if (auto fonts = fonts_.find(hwnd); fonts != fonts_.end()) {
        for (HFONT f : fonts->second) DeleteObject(f);
        fonts_.erase(fonts);
    }
}

void Win32Backend::showWindow(Window& window) {
    ShowWindow(hwndOf(window), SW_SHOW);
    UpdateWindow(hwndOf(window));
}

// ---- properties ----

Rect Win32Backend::bounds(const Window& window) const {
    RECT r{};
    GetWindowRect(hwndOf(window), &r);
    return rectOf(r);
}

void Win32Backend::setBounds(Window& window, Rect r) {
    SetWindowPos(hwndOf(window), nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Win32Backend::topmost(const Window& window) const {
    return (GetWindowLongPtrW(hwndOf(window), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

void Win32Backend::setTopmost(Window& window, bool on) {
    SetWindowPos(hwndOf(window), on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool Win32Backend::enabled(const Window& window) const { return IsWindowEnabled(hwndOf(window)); }
void Win32Backend::setEnabled(Window& window, bool on) { EnableWindow(hwndOf(window), on); }
bool Win32Backend::visible(const Window& window) const { return IsWindowVisible(hwndOf(window)); }

Rect Win32Backend::bounds(const Control& control) const {
    HWND hwnd = hwndOf(control);
    RECT r{};
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    return rectOf(r);
}

void Win32Backend::setBounds(Control& control, Rect r) {
    HWND hwnd = hwndOf(control);
    int height = r.height;
    // A combo box's window height is its dropped-down height; its own height is the system's.
    if (control.kind() == Kind::ComboBox) height = std::max(kComboDropHeight, r.height);
    SetWindowPos(hwnd, nullptr, r.left, r.top, r.width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Win32Backend::visible(const Control& control) const {
    return (GetWindowLongPtrW(hwndOf(control), GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32Backend::setVisible(Control& control, bool on) { ShowWindow(hwndOf(control), on ? SW_SHOWNA : SW_HIDE); }

void Win32Backend::setFocus(Control& control) { SetFocus(hwndOf(control)); }

uintptr_t Win32Backend::focus(const Window& window) const {
    HWND root = hwndOf(window);
    for (HWND h = GetFocus(); h && h != root; h = GetParent(h)) {
        auto it = controls_.find(h);
        if (it != controls_.end() && &it->second->window() == &window) return reinterpret_cast<uintptr_t>(h);
    }
    return 0;
}

std::string Win32Backend::text(const Control& control) const {
    HWND hwnd = hwndOf(control);
    int length = GetWindowTextLengthW(hwnd);
    std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(hwnd, buffer.data(), length + 1);
    buffer.resize(static_cast<size_t>(std::max(got, 0)));
    return narrow(buffer);
}

void Win32Backend::setText(Control& control, std::string_view text) {
    SetWindowTextW(hwndOf(control), widen(text).c_str());
}

int32_t Win32Backend::itemCount(const Control& combo) const {
    return static_cast<int32_t>(SendMessageW(hwndOf(combo), CB_GETCOUNT, 0, 0));
}

std::string Win32Backend::itemText(const Control& combo, int32_t index) const {
    HWND hwnd = hwndOf(combo);
    LRESULT length = SendMessageW(hwnd, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) return {};
    std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
    LRESULT got = SendMessageW(hwnd, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buffer.data()));
    buffer.resize(got == CB_ERR ? 0 : static_cast<size_t>(got));
    return narrow(buffer);
}

void Win32Backend::addItem(Control& combo, std::string_view text) {
    SendMessageW(hwndOf(combo), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(text).c_str()));
}

void Win32Backend::clearItems(Control& combo) {
    SendMessageW(hwndOf(combo), CB_RESETCONTENT, 0, 0);
    SetWindowTextW(hwndOf(combo), L"");
}

int32_t Win32Backend::selection(const Control& combo) const {
    return static_cast<int32_t>(SendMessageW(hwndOf(combo), CB_GETCURSEL, 0, 0));
}

void Win32Backend::setSelection(Control& combo, int32_t index) {
    SendMessageW(hwndOf(combo), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int32_t Win32Backend::currentTab(const Control& tab) const {
    return static_cast<int32_t>(SendMessageW(hwndOf(tab), TCM_GETCURSEL, 0, 0));
}

void Win32Backend::setCurrentTab(Control& tab, int32_t index) {
    SendMessageW(hwndOf(tab), TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
}

WebBrowserBox* Win32Backend::browser(const Control& control) const {
    auto it = browsers_.find(&control);
    return it == browsers_.end() ? nullptr : it->second.get();
}

void Win32Backend::navigate(Control& control, std::string_view address) {
    if (auto* b = browser(control)) b->navigate(address);
}

std::string Win32Backend::statusText(const Control& control) const {
    auto* b = browser(control);
    return b ? b->statusText() : std::string();
}

bool Win32Backend::attachTip(Control& box, Control& tool, std::string_view text, int32_t icon) {
    const ControlDef& d = box.def();
    HWND& tip = tooltips_[&box];
    if (!tip) {
        // Not owned by the window: an owned topmost popup would keep its owner out of the
        // topmost band once it has left it. It goes with the window (destroyWindow).
        tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                              WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP | TTS_BALLOON | TTS_NOFADE | TTS_NOANIMATE,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
        if (!tip) return false;
        SendMessageW(tip, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(d.showDelay, 0));
        // Automatic hiding is off: the longest display time the control knows, and the tip is
        // shown again when that runs out with the pointer still on its tool.
        SendMessageW(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kLongestTipTime, 0));
        SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, kTipWidth);
    }
    std::wstring wide = widen(text);
    TOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = GetParent(hwndOf(tool));
    info.uId = reinterpret_cast<UINT_PTR>(hwndOf(tool));
    info.lpszText = wide.data();
    bool added = SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)) != 0;
    if (added) tips_[&box].push_back(std::string(tool.name()) + "|" + std::string(text) + "|" + std::to_string(icon));
    return added;
}

bool Win32Backend::isTooltip(HWND hwnd) const {
    for (auto& [box, tip] : tooltips_)
        if (tip == hwnd) return true;
    return false;
}

LRESULT Win32Backend::onTipNotify(const NMHDR& header) {
    HWND tip = header.hwndFrom;
    if (header.code == TTN_SHOW) {
        tipShownAt_[tip] = GetTickCount64();
    } else if (header.code == TTN_POP) {
        // A button press hides the tip early; only a display time that ran out brings it back.
        auto shown = tipShownAt_.find(tip);
        auto displayTime = static_cast<ULONGLONG>(SendMessageW(tip, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0));
        if (shown != tipShownAt_.end() && GetTickCount64() - shown->second + 50 >= displayTime)
            PostMessageW(messageWindow_, kTipTimedOut, 0, reinterpret_cast<LPARAM>(tip));
    }
    return 0;  // the tip at its own place
}

// While the pointer rests on a tool, its tip has no display time limit.
void Win32Backend::showTipAgain(HWND tip) {
    if (!isTooltip(tip) || IsWindowVisible(tip)) return;
    if (GetKeyState(VK_LBUTTON) < 0 || GetKeyState(VK_RBUTTON) < 0 || GetKeyState(VK_MBUTTON) < 0) return;
    POINT at{};
    GetCursorPos(&at);
    HWND under = WindowFromPoint(at);
    auto count = static_cast<UINT>(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
    for (UINT i = 0; i < count; ++i) {
        TOOLINFOW info{};
        info.cbSize = sizeof info;
        if (SendMessageW(tip, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(&info)) &&
            (info.uFlags & TTF_IDISHWND) && reinterpret_cast<HWND>(info.uId) == under) {
            // As if the pointer had left and come back: the tip shows after its delay.
            SendMessageW(tip, TTM_ACTIVATE, FALSE, 0);
            SendMessageW(tip, TTM_ACTIVATE, TRUE, 0);
            POINT client = at;
            ScreenToClient(under, &client);
            MSG move{under, WM_MOUSEMOVE, 0, MAKELPARAM(client.x, client.y), static_cast<DWORD>(GetMessageTime()), at};
            SendMessageW(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&move));
            return;
        }
    }
}

// A key pressed hides every tip, as a mouse button does.
void Win32Backend::hideTipsOnKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return;
    for (auto& [box, tip] : tooltips_)
        if (IsWindowVisible(tip)) SendMessageW(tip, TTM_POP, 0, 0);
}

HWND Win32Backend::tooltip(const Control& box) const {
    auto it = tooltips_.find(&box);
    return it == tooltips_.end() ? nullptr : it->second;
}

std::vector<std::string> Win32Backend::tips(const Control& box) const {
    auto it = tips_.find(&box);
    return it == tips_.end() ? std::vector<std::string>{} : it->second;
}

Control* Win32Backend::controlOf(HWND hwnd) const {
    auto it = controls_.find(hwnd);
    return it == controls_.end() ? nullptr : it->second;
}

Window* Win32Backend::windowOf(HWND hwnd) const {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : it->second;
}

void Win32Backend::shellOpen(std::string_view verb, std::string_view path) {
    if (recordShellCalls) {
        shellCalls.push_back(std::string(verb) + "|" + std::string(path));
        return;
    }
    platform::shellOpen(verb, path);
}

// ---- message boxes, loop, exit ----

Answer Win32Backend::messageBox(const MessageBoxCall& call) {
    UINT type = MB_TASKMODAL | MB_SETFOREGROUND;
    type |= call.buttons == Buttons::YesNo ? MB_YESNO : (MB_OK | MB_ICONERROR);
    // Off the window thread (a fatal fault) there is no active window, and the window table is
    // the window thread's: it is not looked at.
    HWND active = GetActiveWindow();
    if (active && !windowOf(active)) active = nullptr;
    int pressed = MessageBoxW(nullptr, widen(call.text).c_str(), widen(call.title).c_str(), type);
    // The box went while every window of the program was disabled, so the system handed the
    // activation to another program. The window the user answered from takes it back; it was
    // enabled before the box and is enabled again with the others right after it.
    if (active && IsWindow(active)) {
        EnableWindow(active, TRUE);
        SetForegroundWindow(active);
    }
    switch (pressed) {
        case IDYES: return Answer::Yes;
        case IDNO: return Answer::No;
        case IDOK: return Answer::Ok;
        default: return Answer::None;
    }
}

bool Win32Backend::preTranslate(MSG& msg) {
    if (msg.message != WM_KEYDOWN || (msg.wParam != VK_ESCAPE && msg.wParam != VK_TAB)) return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    Window* window = windowOf(root);
    if (!window || !IsWindowEnabled(root)) return false;
    if (msg.wParam == VK_ESCAPE) {
        // No control keeps Esc: it closes the window as the close button does.
        if (!window->def().escCloses) return false;
        SendMessageW(root, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    }
    HWND next = GetNextDlgTabItem(root, GetFocus(), GetKeyState(VK_SHIFT) < 0);
    if (next) SetFocus(next);
    return true;
}

bool Win32Backend::pump(bool wait) {
    MSG msg;
    if (wait) {
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) return false;
    } else if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        return false;
    }
    if (msg.message == WM_QUIT) return false;
    hideTipsOnKey(msg);
    if (translateBrowserKey(msg)) return true;
    if (!preTranslate(msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

bool Win32Backend::translateBrowserKey(MSG& msg) {
    for (auto& [control, browser] : browsers_)
        if (browser->translateKey(msg)) return true;
    return false;
}

void Win32Backend::postQuit() { PostQuitMessage(0); }

void Win32Backend::scheduleWake(int64_t ms) {
    if (ms < 0) {
        KillTimer(messageWindow_, kWakeTimer);
        return;
    }
    SetTimer(messageWindow_, kWakeTimer, static_cast<UINT>(std::clamp<int64_t>(ms, USER_TIMER_MINIMUM, 0x7FFFFFFF)),
             nullptr);
}

void Win32Backend::exitProcess(int code) { ExitProcess(static_cast<UINT>(code)); }

void Win32Backend::post(std::function<void()> action) {
    auto* heap = new std::function<void()>(std::move(action));
    if (!PostMessageW(messageWindow_, kRunAction, 0, reinterpret_cast<LPARAM>(heap))) delete heap;
}

// ---- window procedures ----

LRESULT CALLBACK Win32Backend::messageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32Backend* self = theBackend;
    if (self && self->system_) {
        switch (message) {
            case WM_TIMER:
                if (wParam == kWakeTimer) {
                    KillTimer(hwnd, kWakeTimer);
                    self->system_->fireDueTimers();
                    return 0;
                }
                break;
            case kRunAction: {
                std::unique_ptr<std::function<void()>> action(reinterpret_cast<std::function<void()>*>(lParam));
                (*action)();
                return 0;
            }
            case kTipTimedOut:
                self->showTipAgain(reinterpret_cast<HWND>(lParam));
                return 0;
            case kListPicked: {
                auto* combo = reinterpret_cast<ComboBox*>(lParam);
                self->pendingPicks_.erase(combo);
                self->system_->listItemSelected(*combo);
                return 0;
            }
            default:
                break;
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Win32Backend::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32Backend* self = theBackend;
    Window* window = self ? self->windowOf(hwnd) : nullptr;
    if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->handle(*window, hwnd, message, wParam, lParam);
}

LRESULT Win32Backend::handle(Window& window, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            system_->userClose(window);
            return 0;
        case WM_QUERYENDSESSION:
            return system_->queryEndSession(window) ? TRUE : FALSE;
        case WM_ENDSESSION:
            if (wParam) system_->exitNow(0);
            return 0;
        case WM_NCHITTEST: {
            // Only presses that reach the window itself get here: its background around the
            // tab control (which keeps its own, see forwardingProc). They drag the window.
            LRESULT hit = DefWindowProcW(hwnd, message, wParam, lParam);
            bool background = hit == HTCLIENT && window.def().dragAnywhere;
            backgroundHit_ = background ? hwnd : nullptr;
            return background ? HTCAPTION : hit;
        }
        case WM_SETCURSOR:
            // The system hit-tests the point just before it asks for the pointer: a caption
            // that is really the background shows the move pointer, the title bar the arrow.
            if (reinterpret_cast<HWND>(wParam) == hwnd && LOWORD(lParam) == HTCAPTION && backgroundHit_ == hwnd) {
                SetCursor(LoadCursorW(nullptr, IDC_SIZEALL));
                return TRUE;
            }
            break;
        case WM_NCLBUTTONDOWN:
            if (wParam == HTCAPTION && recordCaptionPresses) {
                ++captionPresses;
                return 0;
            }
            break;
        case WM_ACTIVATE:
            // Plain windows do not keep their focus over a deactivation; keep it for them.
            if (LOWORD(wParam) == WA_INACTIVE) {
                savedFocus_[hwnd] = GetFocus();
            } else {
                auto it = savedFocus_.find(hwnd);
                if (it != savedFocus_.end() && IsWindow(it->second) && IsChild(hwnd, it->second)) {
                    SetFocus(it->second);
                    return 0;
                }
            }
            break;
        case WM_ERASEBKGND:
            if (window.def().backgroundColour != kSystemColour) {
                RECT r;
                GetClientRect(hwnd, &r);
                HBRUSH& brush = brushes_[window.def().backgroundColour];
                if (!brush) brush = CreateSolidBrush(colourOf(window.def().backgroundColour));
                FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
                return 1;
            }
            break;
        case WM_COMMAND:
            return onCommand(wParam, lParam);
        case WM_NOTIFY:
            return onNotify(lParam);
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
            return onControlColour(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam),
                                   DefWindowProcW(hwnd, message, wParam, lParam));
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT Win32Backend::onCommand(WPARAM wParam, LPARAM lParam) {
    Control* control = controlOf(reinterpret_cast<HWND>(lParam));
    if (!control) return 0;
    WORD code = HIWORD(wParam);
    if (control->kind() == Kind::Button && code == BN_CLICKED) {
        system_->clicked(static_cast<Button&>(*control));
    } else if (control->kind() == Kind::ComboBox) {
        HWND combo = reinterpret_cast<HWND>(lParam);
        // A pick from the dropped list ends with SELENDOK; with the list closed, the arrow keys
        // pick with SELCHANGE alone. The event waits until the combo box has finished.
        bool dropped = SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0;
        bool picked = (code == CBN_SELENDOK) || (code == CBN_SELCHANGE && !dropped);
        // One pick may bring both notifications; it raises one event.
        if (picked && SendMessageW(combo, CB_GETCURSEL, 0, 0) >= 0 && pendingPicks_.insert(control).second)
            PostMessageW(messageWindow_, kListPicked, 0, reinterpret_cast<LPARAM>(control));
    }
    return 0;
}

LRESULT Win32Backend::onNotify(LPARAM lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (isTooltip(header->hwndFrom)) return onTipNotify(*header);
    Control* control = controlOf(header->hwndFrom);
    if (control && control->kind() == Kind::TabControl && header->code == TCN_SELCHANGE)
        system_->tabSelected(static_cast<TabControl&>(*control));
    return 0;
}

LRESULT Win32Backend::onControlColour(HWND hwnd, HDC dc, LRESULT fallback) {
    Control* control = controlOf(hwnd);
    // A combo box's field and list ask with their own handles (WM_CTLCOLOREDIT and
    // WM_CTLCOLORLISTBOX, Microsoft Learn).
    if (auto part = comboParts_.find(hwnd); !control && part != comboParts_.end()) control = part->second;
    if (!control || !IsWindowEnabled(hwnd)) return fallback;
    const ControlDef& d = control->def();
    if (d.textColour != kSystemColour) SetTextColor(dc, colourOf(d.textColour));
    if (d.kind == Kind::TransparentLabel) {
        SetBkMode(dc, TRANSPARENT);
        // The window paints nothing under its children: the label fills its own area with the
        // window's background, so that is what shows around the text, not what was there before.
        int32_t colour = control->window().def().backgroundColour;
        if (colour == kSystemColour) return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        HBRUSH& brush = brushes_[colour];
        if (!brush) brush = CreateSolidBrush(colourOf(colour));
        return reinterpret_cast<LRESULT>(brush);
    }
    if (d.backgroundColour == kSystemColour) return fallback;
    SetBkColor(dc, colourOf(d.backgroundColour));
    HBRUSH& brush = brushes_[d.backgroundColour];
    if (!brush) brush = CreateSolidBrush(colourOf(d.backgroundColour));
    return reinterpret_cast<LRESULT>(brush);
}

LRESULT CALLBACK Win32Backend::forwardingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                              DWORD_PTR) {
    switch (message) {
        case WM_NCHITTEST: {
            // The tab control lets a point away from its tabs through (HTTRANSPARENT), and the
            // system then offers it to the window beneath, ours, which would turn it into a drag.
            // Its strip and pages, and the disabled controls on them that the system passes by
            // (WindowFromPoint, Microsoft Learn), keep their presses.
            LRESULT hit = DefSubclassProc(hwnd, message, wParam, lParam);
            return hit == HTTRANSPARENT ? HTCLIENT : hit;
        }
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
            if (HWND root = GetAncestor(hwnd, GA_ROOT)) return SendMessageW(root, message, wParam, lParam);
            break;
        default:
            break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Win32Backend::dragLabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR) {
    if (message == WM_LBUTTONDOWN) {
        // A press on the label moves the window as a press on its title bar would.
        ReleaseCapture();
        SendMessageW(GetAncestor(hwnd, GA_ROOT), WM_NCLBUTTONDOWN, HTCAPTION, 0);
        return 0;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace tovren::platform::window

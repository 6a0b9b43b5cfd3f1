// The hosted browser on Windows: its event sink, the box without a control, and the balloon tip.
#include <windows.h>

#include <commctrl.h>
#include <exdispid.h>
#include <gtest/gtest.h>

#include <array>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/window/backend.h"
#include "platform/window/driver.h"
#include "platform/window/win32/browser_control.h"
#include "platform/window/win32/browser_event_sink.h"
#include "platform/window/win32/win32_backend.h"
#include "platform/window/window_system.h"
#include "support/http_server.h"

namespace tovren::platform::window {
namespace {

class FakeEvents final : public BrowserEvents {
public:
    void statusTextChanged(std::wstring_view text) override { texts.emplace_back(text); }
    bool newWindowAllowed() override {
        ++newWindows;
        return allow;
    }
    void documentComplete() override { ++documents; }
    std::vector<std::wstring> texts;
    int newWindows = 0;
    int documents = 0;
    bool allow = true;
};

// One BSTR argument, freed with the call.
struct StatusCall {
    explicit StatusCall(const wchar_t* text) {
        VariantInit(&argument);
        argument.vt = VT_BSTR;
        argument.bstrVal = text ? SysAllocString(text) : nullptr;
    }
    ~StatusCall() { VariantClear(&argument); }
    HRESULT invoke(IDispatch& sink) {
        DISPPARAMS params{&argument, nullptr, 1, 0};
        return sink.Invoke(DISPID_STATUSTEXTCHANGE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                           &params, nullptr, nullptr, nullptr);
    }
    VARIANT argument;
};

// NewWindow2(ppDisp, Cancel), arguments in the browser's order: the last one first.
struct NewWindowCall {
    NewWindowCall() {
        VariantInit(&arguments[0]);
        VariantInit(&arguments[1]);
        arguments[0].vt = VT_BOOL | VT_BYREF;
        arguments[0].pboolVal = &cancel;
        arguments[1].vt = VT_DISPATCH | VT_BYREF;
        arguments[1].ppdispVal = &newBrowser;
    }
    HRESULT invoke(IDispatch& sink, UINT count = 2) {
        DISPPARAMS params{arguments, nullptr, count, 0};
        badArgument = 99;
        return sink.Invoke(DISPID_NEWWINDOW2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                           &params, nullptr, nullptr, &badArgument);
    }
    VARIANT arguments[2];
    VARIANT_BOOL cancel = VARIANT_FALSE;
    IDispatch* newBrowser = nullptr;
    UINT badArgument = 99;
};

struct SinkReleaser {
    void operator()(BrowserEventSink* sink) const { sink->Release(); }
};
using SinkPtr = std::unique_ptr<BrowserEventSink, SinkReleaser>;

TEST(BrowserEventSink, StatusTextChangeReportsTheText) {
    FakeEvents events;
    SinkPtr sink(new BrowserEventSink(&events));
    struct {
        const wchar_t* text;
        std::wstring expected;
        const char* why;
    } cases[] = {
        {L"http://127.0.0.1/next", L"http://127.0.0.1/next", "an address under the pointer"},
        {L"完成", L"完成", "text beyond ASCII arrives as it is"},
        {L"", L"", "the browser clears its status bar"},
        {nullptr, L"", "a null BSTR is the empty text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        StatusCall call(c.text);
        EXPECT_EQ(call.invoke(*sink), S_OK);
        ASSERT_FALSE(events.texts.empty());
        EXPECT_EQ(events.texts.back(), c.expected);
    }
    EXPECT_EQ(events.texts.size(), std::size(cases));
}

TEST(BrowserEventSink, NewWindow2SetsCancelOnlyWhenRefused) {
    FakeEvents events;
    SinkPtr sink(new BrowserEventSink(&events));
    struct {
        bool allow;
        VARIANT_BOOL cancelBefore;
        VARIANT_BOOL expected;
        const char* why;
    } cases[] = {
        {false, VARIANT_FALSE, VARIANT_TRUE, "refused: Cancel is set"},
        {true, VARIANT_FALSE, VARIANT_FALSE, "allowed: the window may open"},
        {true, VARIANT_TRUE, VARIANT_TRUE, "allowed leaves a Cancel the browser set untouched"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        events.allow = c.allow;
        NewWindowCall call;
        call.cancel = c.cancelBefore;
        EXPECT_EQ(call.invoke(*sink), S_OK);
        EXPECT_EQ(call.cancel, c.expected);
    }
    EXPECT_EQ(events.newWindows, 3);
}

TEST(BrowserEventSink, WrongArgumentsAreRefusedAndReachNobody) {
    FakeEvents events;
    SinkPtr sink(new BrowserEventSink(&events));

    StatusCall status(L"x");
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(sink->Invoke(DISPID_STATUSTEXTCHANGE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr,
                           nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(sink->Invoke(DISPID_STATUSTEXTCHANGE, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr,
                           nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    number.lVal = 5;
    DISPPARAMS wrongType{&number, nullptr, 1, 0};
    UINT bad = 99;
    EXPECT_EQ(sink->Invoke(DISPID_STATUSTEXTCHANGE, IID_NULL, 0, DISPATCH_METHOD, &wrongType,
                           nullptr, nullptr, &bad),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(bad, 0u);
    EXPECT_TRUE(events.texts.empty());

    NewWindowCall oneArgument;
    EXPECT_EQ(oneArgument.invoke(*sink, 1), DISP_E_BADPARAMCOUNT);
    NewWindowCall cancelByValue;
    cancelByValue.arguments[0].vt = VT_BOOL;
    cancelByValue.arguments[0].boolVal = VARIANT_FALSE;
    EXPECT_EQ(cancelByValue.invoke(*sink), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(cancelByValue.badArgument, 0u);
    NewWindowCall nullCancel;
    nullCancel.arguments[0].pboolVal = nullptr;
    EXPECT_EQ(nullCancel.invoke(*sink), DISP_E_TYPEMISMATCH);
    NewWindowCall browserByValue;
    browserByValue.arguments[1].vt = VT_DISPATCH;
    browserByValue.arguments[1].pdispVal = nullptr;
    EXPECT_EQ(browserByValue.invoke(*sink), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(browserByValue.badArgument, 1u);
    EXPECT_EQ(events.newWindows, 0);

    // A finished page is passed on whatever its arguments: the host only re-applies its settings.
    EXPECT_EQ(sink->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr,
                           nullptr, nullptr),
              S_OK);
    EXPECT_EQ(events.documents, 1);

    // Events the host does not use are not its business.
    EXPECT_EQ(sink->Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr,
                           nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST(BrowserEventSink, AfterDetachEventsAreAnsweredButReachNobody) {
    FakeEvents events;
    events.allow = false;
    SinkPtr sink(new BrowserEventSink(&events));
    sink->detach();
    StatusCall status(L"gone");
    EXPECT_EQ(status.invoke(*sink), S_OK);
    NewWindowCall call;
    EXPECT_EQ(call.invoke(*sink), S_OK);
    EXPECT_EQ(call.cancel, VARIANT_FALSE) << "with no host nothing refuses";
    EXPECT_TRUE(events.texts.empty());
    EXPECT_EQ(events.newWindows, 0);
}

// Counts its own destruction through a sink it owns the last reference of.
TEST(BrowserEventSink, InterfacesAndReferenceCounting) {
    FakeEvents events;
    auto* sink = new BrowserEventSink(&events);
    struct {
        const IID* iid;
        bool given;
        const char* why;
    } cases[] = {
        {&IID_IUnknown, true, "every object is an IUnknown"},
        {&IID_IDispatch, true, "events come through IDispatch"},
        {&DIID_DWebBrowserEvents2, true, "the browser asks for its event interface"},
        {&IID_IConnectionPointContainer, false, "a sink has no events of its own"},
        {&IID_IWebBrowser2, false, "nor is it a browser"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        void* object = reinterpret_cast<void*>(1);
        HRESULT hr = sink->QueryInterface(*c.iid, &object);
        if (c.given) {
            EXPECT_EQ(hr, S_OK);
            EXPECT_EQ(object, static_cast<IDispatch*>(sink));
            EXPECT_EQ(static_cast<IUnknown*>(object)->Release(), 1u);
        } else {
            EXPECT_EQ(hr, E_NOINTERFACE);
            EXPECT_EQ(object, nullptr);
        }
    }
    EXPECT_EQ(sink->QueryInterface(IID_IDispatch, nullptr), E_POINTER);
    UINT count = 7;
    EXPECT_EQ(sink->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(sink->AddRef(), 2u);
    EXPECT_EQ(sink->Release(), 1u);
    EXPECT_EQ(sink->Release(), 0u) << "the last Release frees the sink";
}

// ---- the box in a window ----

class BrowserBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        box = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 8, 48, 200, 100, parent,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(box, nullptr);
    }
    void TearDown() override {
        DestroyWindow(parent);
        OleUninitialize();
    }
    HWND parent = nullptr;
    HWND box = nullptr;
};

TEST_F(BrowserBoxTest, WithOrWithoutTheControlAddressesAndEventsWork) {
    WebBrowserBox browser(box);
    std::cout << "[ INFO     ] WebBrowser control created: "
              << (browser.hasControl() ? "yes" : "no") << "\n";
    EXPECT_EQ(browser.statusText(), "") << "empty before the first status text";

    browser.navigate("http://127.0.0.1:1/passport/login");
    browser.navigate("");
    EXPECT_EQ(browser.addresses(),
              (std::vector<std::string>{"http://127.0.0.1:1/passport/login", ""}));

    StatusCall status(L"http://127.0.0.1:1/练习");
    EXPECT_EQ(status.invoke(*browser.events()), S_OK);
    EXPECT_EQ(browser.statusText(), "http://127.0.0.1:1/练习");

    struct {
        std::optional<bool> handlerResult;
        bool handlerSet;
        VARIANT_BOOL expected;
        const char* why;
    } cases[] = {
        {false, true, VARIANT_TRUE, "false refuses the new window"},
        {true, true, VARIANT_FALSE, "true lets it open"},
        {std::nullopt, true, VARIANT_FALSE, "no value lets it open"},
        {std::nullopt, false, VARIANT_FALSE, "no handler lets it open"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        int raised = 0;
        browser.onNewWindow = nullptr;
        if (c.handlerSet)
            browser.onNewWindow = [&] {
                ++raised;
                return c.handlerResult;
            };
        NewWindowCall call;
        EXPECT_EQ(call.invoke(*browser.events()), S_OK);
        EXPECT_EQ(call.cancel, c.expected);
        EXPECT_EQ(raised, c.handlerSet ? 1 : 0);
    }
}

int threadWindows() {
    int count = 0;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND, LPARAM counter) {
            ++*reinterpret_cast<int*>(counter);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

// Without OLE the control cannot be created: the box stays an empty window, addresses are kept
// but go nowhere, and nothing is shown.
TEST(BrowserBoxWithoutControl, GoesOnQuietly) {
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    HWND box = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 8, 48, 200, 100, parent,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(box, nullptr);
    int windowsBefore = threadWindows();
    {
        WebBrowserBox browser(box);
        EXPECT_FALSE(browser.hasControl());
        EXPECT_EQ(GetWindow(box, GW_CHILD), nullptr) << "nothing in the box";
        browser.navigate("http://127.0.0.1:1/passport/login");
        EXPECT_EQ(browser.addresses(),
                  std::vector<std::string>{"http://127.0.0.1:1/passport/login"});
        EXPECT_EQ(browser.statusText(), "");
        StatusCall status(L"next");
        EXPECT_EQ(status.invoke(*browser.events()), S_OK);
        EXPECT_EQ(browser.statusText(), "next");
        browser.onNewWindow = [] { return std::optional<bool>(false); };
        NewWindowCall call;
        EXPECT_EQ(call.invoke(*browser.events()), S_OK);
        EXPECT_EQ(call.cancel, VARIANT_TRUE);
        SetWindowPos(box, nullptr, 0, 0, 300, 200, SWP_NOZORDER | SWP_NOMOVE);
        EXPECT_EQ(threadWindows(), windowsBefore) << "no message, no window of its own";
    }
    EXPECT_TRUE(IsWindow(box));
    DestroyWindow(parent);
}

TEST_F(BrowserBoxTest, TheBoxStaysAWindowWithNothingShownOverIt) {
    {
        WebBrowserBox browser(box);
        browser.navigate("http://127.0.0.1:1/");
        // A failure would show as a window of its own; there is none but the test's.
        EXPECT_TRUE(IsWindow(box));
        SetWindowPos(box, nullptr, 0, 0, 300, 200, SWP_NOZORDER | SWP_NOMOVE);
        RECT r{};
        GetClientRect(box, &r);
        EXPECT_EQ(r.right, 300);
        EXPECT_EQ(r.bottom, 200);
    }
    // After the browser has gone the box is a plain window again: resizing reaches nobody.
    EXPECT_TRUE(SetWindowPos(box, nullptr, 0, 0, 100, 50, SWP_NOZORDER | SWP_NOMOVE));
}

// The control's window fills the box and follows it when the layout changes its size.
TEST_F(BrowserBoxTest, TheControlFollowsTheBoxSize) {
    WebBrowserBox browser(box);
    if (!browser.hasControl()) GTEST_SKIP() << "no WebBrowser control on this system";
    HWND control = GetWindow(box, GW_CHILD);
    ASSERT_NE(control, nullptr) << "the control sits in the box";
    auto sizeOf = [](HWND hwnd) {
        RECT r{};
        GetWindowRect(hwnd, &r);
        return std::pair<LONG, LONG>(r.right - r.left, r.bottom - r.top);
    };
    EXPECT_EQ(sizeOf(control), (std::pair<LONG, LONG>(200, 100)));
    struct {
        int width, height;
        const char* why;
    } cases[] = {
        {1000, 698, "the full-screen theory tab"},
        {552, 208, "back to the small layout"},
        {0, 0, "an empty box"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        SetWindowPos(box, nullptr, 0, 0, c.width, c.height, SWP_NOZORDER | SWP_NOMOVE);
        EXPECT_EQ(sizeOf(control), (std::pair<LONG, LONG>(c.width, c.height)));
    }
}

// Where the system's control exists, the address goes out as a plain GET: no post data, no
// extra headers. (Pages are not drawn here when the prefix has no HTML engine.)
TEST_F(BrowserBoxTest, NavigateFetchesTheAddressFromTheServer) {
    testing::HttpServer server([](const testing::HttpRequest& request) {
        return testing::fileReply("<html><body>login</body></html>", request,
                                  {"Content-Type: text/html"});
    });
    WebBrowserBox browser(box);
    if (!browser.hasControl()) GTEST_SKIP() << "no WebBrowser control on this system";
    browser.navigate(server.base() + "/passport/login?from=%E7%BB%83");
    for (DWORD end = GetTickCount() + 10000; GetTickCount() < end && server.requestCount() == 0;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
    auto requests = server.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].path, "/passport/login?from=%E7%BB%83");
    EXPECT_EQ(requests[0].bytes.rfind("GET ", 0), 0u) << requests[0].bytes;
    EXPECT_EQ(requests[0].bytes.find("Content-Length"), std::string::npos) << "no post data";
}

// ---- the component services ----

constexpr std::array<ControlDef, 1> kBrowserControls{{
    {.name = "browser",
     .kind = Kind::BrowserBox,
     .left = 8,
     .top = 8,
     .width = 200,
     .height = 100,
     .text = "http://127.0.0.1:1/passport/login"},
}};
constexpr WindowDef kBrowserWindow{.name = "Browser",
                                   .caption = "Browser",
                                   .width = 240,
                                   .height = 160,
                                   .titleBar = true,
                                   .controls = kBrowserControls};

// Whether OLE is initialised on this thread, without changing it.
bool oleInitialised() {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr)) CoUninitialize();
    return hr == S_FALSE || hr == RPC_E_CHANGED_MODE;
}

TEST(ComponentServices, InitialisedWithTheBackendAndReleasedAfterEveryBrowser) {
    ASSERT_FALSE(oleInitialised());
    WindowSystem system{makeBackend()};
    EXPECT_TRUE(oleInitialised()) << "the browser needs OLE from the start";
    Window* w = system.load(kBrowserWindow, nullptr, false, {});
    ASSERT_NE(w, nullptr);
    auto& backend = static_cast<Win32Backend&>(system.backend());
    auto& box = w->browserBox("browser");
    ASSERT_NE(backend.browser(box), nullptr);
    auto driver = makeDriver(system);
    EXPECT_EQ(driver->navigations(box),
              std::vector<std::string>{"http://127.0.0.1:1/passport/login"})
        << "the first address is sent at creation";

    system.backend().uninitialise();
    EXPECT_EQ(backend.browser(box), nullptr) << "the browser goes before OLE";
    EXPECT_FALSE(oleInitialised());
    EXPECT_EQ(box.状态条文本(), "") << "a box without its browser reads empty";
    box.set地址("http://127.0.0.1:1/");  // reaches nobody, and does not crash
    system.backend().uninitialise();     // a second time changes nothing
    EXPECT_FALSE(oleInitialised());
}

// ---- the balloon tip on a label ----

constexpr std::array<std::string_view, 2> kTabs{"一", "二"};
constexpr WORD kLongestTipTime = 32767;
constexpr std::string_view kTip = "第一行\r\n第二行(二)\r\n第三行";
constexpr std::array<ControlDef, 3> kControls{{
    {.name = "tabs",
     .kind = Kind::TabControl,
     .left = 2,
     .top = 8,
     .width = 300,
     .height = 200,
     .items = kTabs},
    {.name = "tip",
     .kind = Kind::BalloonTipBox,
     .page = 0,
     .left = 200,
     .top = 24,
     .width = 40,
     .height = 26,
     .showDelay = 200,
     .displayTime = 500},
    {.name = "label",
     .kind = Kind::Label,
     .page = 0,
     .left = 150,
     .top = 24,
     .width = 64,
     .height = 18,
     .text = "提示",
     .flags = kDragsWindow | kCentred},
}};
constexpr WindowDef kMain{.name = "Main",
                          .caption = "Main",
                          .width = 320,
                          .height = 240,
                          .titleBar = true,
                          .controls = kControls};

TEST(BalloonTip, OneToolOverTheLabelWithItsTextAndDelays) {
    WindowSystem system{makeBackend()};
    auto driver = makeDriver(system);
    Window* w = system.load(kMain, nullptr, false, {});
    ASSERT_NE(w, nullptr);
    auto& label = w->control("label");
    auto& box = w->balloonTipBox("tip");
    EXPECT_TRUE(box.attachTool(label, kTip, -1));

    auto& backend = static_cast<Win32Backend&>(system.backend());
    HWND tip = backend.tooltip(box);
    ASSERT_NE(tip, nullptr);
    HWND labelWindow = reinterpret_cast<HWND>(label.native);
    EXPECT_TRUE(GetWindowLongPtrW(labelWindow, GWL_STYLE) & SS_NOTIFY)
        << "the label lets the tip see the mouse";

    LONG_PTR style = GetWindowLongPtrW(tip, GWL_STYLE);
    for (LONG_PTR bit : {TTS_BALLOON, TTS_ALWAYSTIP, TTS_NOPREFIX, TTS_NOFADE, TTS_NOANIMATE})
        EXPECT_TRUE(style & bit) << "style bit " << bit;

    EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
    wchar_t text[256] = {};
    TOOLINFOW info{};
    info.cbSize = sizeof info;
    info.lpszText = text;
    ASSERT_TRUE(SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&info)));
    EXPECT_EQ(info.uFlags & (TTF_IDISHWND | TTF_SUBCLASS),
              static_cast<UINT>(TTF_IDISHWND | TTF_SUBCLASS));
    EXPECT_EQ(reinterpret_cast<HWND>(info.uId), labelWindow)
        << "the whole label, no rectangle of its own";
    EXPECT_EQ(std::wstring(text), std::wstring(L"第一行\r\n第二行(二)\r\n第三行"));

    EXPECT_EQ(SendMessageW(tip, TTM_GETDELAYTIME, TTDT_INITIAL, 0), 200);
    EXPECT_EQ(SendMessageW(tip, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0), 32767) << "no automatic hiding";
    EXPECT_GT(SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0), 0)
        << "a width limit lets CR LF break the lines";

    TTGETTITLE title{};
    wchar_t titleText[64] = L"unchanged";
    title.dwSize = sizeof title;
    title.pszTitle = titleText;
    title.cch = 64;
    SendMessageW(tip, TTM_GETTITLE, 0, reinterpret_cast<LPARAM>(&title));
    EXPECT_EQ(title.uTitleBitmap, static_cast<UINT>(TTI_NONE)) << "no icon";
}

// Dispatches what comes for `ms`, noting each change of the tip's visibility.
std::vector<bool> watchTip(HWND tip, DWORD ms) {
    std::vector<bool> seen{IsWindowVisible(tip) != FALSE};
    for (DWORD end = GetTickCount() + ms; GetTickCount() < end;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        bool visible = IsWindowVisible(tip) != FALSE;
        if (visible != seen.back()) seen.push_back(visible);
        Sleep(5);
    }
    return seen;
}

TEST(BalloonTip, StaysWhileThePointerRestsAndGoesAtAKey) {
    WindowSystem system{makeBackend()};
    auto driver = makeDriver(system);
    Window* w = system.load(kMain, nullptr, false, {});
    ASSERT_NE(w, nullptr);
    auto& label = w->control("label");
    ASSERT_TRUE(w->balloonTipBox("tip").attachTool(label, kTip, -1));
    HWND tip = static_cast<Win32Backend&>(system.backend()).tooltip(w->balloonTipBox("tip"));
    // A short display time stands in for the longest one, so the test need not wait half a minute.
    SendMessageW(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(400, 0));

    HWND labelWindow = reinterpret_cast<HWND>(label.native);
    RECT r{};
    GetWindowRect(labelWindow, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    auto seen = watchTip(tip, 2000);
    // Shown after the delay, hidden when its time ran out, shown again: the pointer stayed.
    ASSERT_GE(seen.size(), 4u) << "visibility changes: " << seen.size();
    EXPECT_EQ(seen[0], false);
    EXPECT_EQ(seen[1], true);
    EXPECT_EQ(seen[2], false);
    EXPECT_EQ(seen[3], true);

    // A key goes to the focused window, through the program's loop.
    SendMessageW(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kLongestTipTime, 0));
    watchTip(tip, 400);
    ASSERT_TRUE(IsWindowVisible(tip));
    PostMessageW(labelWindow, WM_KEYDOWN, 'A', 0x001E0001);
    while (system.backend().pump(false)) {
    }
    EXPECT_FALSE(IsWindowVisible(tip)) << "a key press hides the tip";
    SetCursorPos(0, 0);
}

// ---- the message box ----

// Presses No in the message box that is up on this thread (it runs its own loop).
void CALLBACK answerNo(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM) {
            wchar_t name[16] = {};
            GetClassNameW(hwnd, name, 16);
            if (std::wstring_view(name) != L"#32770" || !IsWindowVisible(hwnd)) return TRUE;
            PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDNO)));
            return FALSE;
        },
        0);
}

TEST(MessageBoxes, TheProgramsWindowIsActiveAgainAfterTheAnswer) {
    WindowSystem system{makeBackend()};
    Window* w = system.load(kMain, nullptr, false, {});
    ASSERT_NE(w, nullptr);
    HWND hwnd = reinterpret_cast<HWND>(w->native);
    SetForegroundWindow(hwnd);
    while (system.backend().pump(false)) {
    }
    ASSERT_EQ(GetActiveWindow(), hwnd);
    SetTimer(nullptr, 0, 200, answerNo);
    EXPECT_EQ(system.messageBox("真的要退出训练吗？", "Tovren", Buttons::YesNo), Answer::No);
    while (system.backend().pump(false)) {
    }
    EXPECT_TRUE(w->enabled());
    EXPECT_EQ(GetActiveWindow(), hwnd) << "the window the user answered for takes the keyboard back";
}

// ---- handles that go with their window ----

constexpr std::array<ControlDef, 1> kFontControls{{
    {.name = "wait",
     .kind = Kind::TransparentLabel,
     .left = 32,
     .top = 32,
     .width = 280,
     .height = 40,
     .text = "请稍候",
     .fontFace = "宋体",
     .fontHeight = 19,
     .fontCharset = 134},
}};
constexpr WindowDef kFontWindow{
    .name = "Fonts", .caption = "", .width = 380, .height = 116, .titleBar = false,
    .backgroundColour = rgb(0, 0, 0), .controls = kFontControls};

TEST(WindowHandles, AWindowsOwnFontGoesWithIt) {
    WindowSystem system{makeBackend()};
    // Loaded again for every wait: no font may stay behind from an earlier one.
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Window* w = system.load(kFontWindow, nullptr, false, {});
        ASSERT_NE(w, nullptr);
        HWND label = reinterpret_cast<HWND>(w->control("wait").native);
        auto font = reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
        w->destroy();
        EXPECT_FALSE(w->exists());
        EXPECT_EQ(GetObjectType(font), 0u) << "the label's font was deleted with its window";
    }
}

// The window paints nothing under its children, so the label itself must show the window's
// black around its text, whatever was on the screen there before.
TEST(WindowHandles, ATransparentLabelShowsTheWindowsBackgroundAroundItsText) {
    WindowSystem system{makeBackend()};
    Window* w = system.load(kFontWindow, nullptr, false, {});
    ASSERT_NE(w, nullptr);
    HWND label = reinterpret_cast<HWND>(w->control("wait").native);
    UpdateWindow(reinterpret_cast<HWND>(w->native));
    HDC dc = GetDC(label);
    RECT r{};
    GetClientRect(label, &r);
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    FillRect(dc, &r, white);  // what another window left there
    RedrawWindow(label, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    // Above the vertically centred line of text, and right of its end.
    EXPECT_EQ(GetPixel(dc, 2, 1), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, r.right - 3, r.bottom / 2), RGB(0, 0, 0));
    ReleaseDC(label, dc);
}

// A page control with no tab control before it cannot be made.
constexpr std::array<ControlDef, 2> kBrokenControls{{
    {.name = "button", .kind = Kind::Button, .left = 4, .top = 4, .width = 60, .height = 20, .text = "按"},
    {.name = "orphan", .kind = Kind::Button, .page = 0, .left = 4, .top = 30, .width = 60, .height = 20},
}};
constexpr WindowDef kBrokenWindow{.name = "Broken", .caption = "Broken", .width = 200, .height = 100,
                                  .controls = kBrokenControls};

int programWindows() {
    int count = 0;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM counter) {
            wchar_t name[64] = {};
            GetClassNameW(hwnd, name, 64);
            if (std::wstring_view(name) == L"TovrenWindow") ++*reinterpret_cast<int*>(counter);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

TEST(WindowHandles, AWindowThatCannotBeMadeLeavesNothingBehind) {
    WindowSystem system{makeBackend()};
    int before = programWindows();
    EXPECT_EQ(system.load(kBrokenWindow, nullptr, false, {}), nullptr);
    EXPECT_EQ(programWindows(), before) << "no half-made window stays, pointing at a record that is gone";
    EXPECT_FALSE(system.anyWindowExists());
}

}  // namespace
}  // namespace tovren::platform::window

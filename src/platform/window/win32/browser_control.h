#pragma once
// The browser box on Windows: the system's WebBrowser control hosted in the box's child window.
// Where the control cannot be created the box stays an empty window and the program goes on:
// addresses are still recorded, the status text stays empty, nothing is shown.
#include <windows.h>

#include <exdisp.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/window/win32/browser_event_sink.h"
#include "platform/window/win32/browser_host.h"

namespace tovren::platform::window {

class BrowserSite;

class WebBrowserBox final : public BrowserHost, private BrowserEvents {
public:
    explicit WebBrowserBox(HWND box);
    ~WebBrowserBox() override;
    WebBrowserBox(const WebBrowserBox&) = delete;
    WebBrowserBox& operator=(const WebBrowserBox&) = delete;

    void navigate(std::string_view address) override;
    std::string statusText() const override { return status_; }

    // Gives a key meant for the page to the control first (Tab between fields, editing keys);
    // true when the control used it. Esc is left to the window.
    bool translateKey(MSG& msg);

    // Whether the system's control is in the box.
    bool hasControl() const { return browser_ != nullptr; }
    // Every address written, in order.
    const std::vector<std::string>& addresses() const { return addresses_; }
    // The event sink as the browser sees it (its DWebBrowserEvents2 dispatch interface).
    IDispatch* events() const { return sink_; }

private:
    bool embed();
    void connectEvents();
    void close();
    void fitToBox();
    void setTextSizeMedium();
    static LRESULT CALLBACK boxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR id, DWORD_PTR self);

    void statusTextChanged(std::wstring_view text) override;
    bool newWindowAllowed() override;
    void documentComplete() override { setTextSizeMedium(); }

    HWND box_;
    BrowserEventSink* sink_;
    BrowserSite* site_ = nullptr;
    IOleObject* object_ = nullptr;
    IWebBrowser2* browser_ = nullptr;
    IConnectionPoint* connection_ = nullptr;
    DWORD cookie_ = 0;
    std::string status_;
    std::vector<std::string> addresses_;
};

}  // namespace tovren::platform::window

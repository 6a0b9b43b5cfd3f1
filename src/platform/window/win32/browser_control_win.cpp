#include "platform/window/win32/browser_control.h"

#include <commctrl.h>
#include <ocidl.h>

#include "platform/wide.h"
#include "platform/window/win32/browser_site.h"

namespace tovren::platform::window {
namespace {

constexpr UINT_PTR kBoxSubclass = 0x7B;
constexpr LONG kTextSizeMedium = 2;  // the middle of the browser's five text sizes

}  // namespace

WebBrowserBox::WebBrowserBox(HWND box) : box_(box), sink_(new BrowserEventSink(this)) {
    SetWindowSubclass(box_, boxProc, kBoxSubclass, reinterpret_cast<DWORD_PTR>(this));
    if (!embed()) close();
}

WebBrowserBox::~WebBrowserBox() {
    RemoveWindowSubclass(box_, boxProc, kBoxSubclass);
    close();
    sink_->detach();
    sink_->Release();
}

bool WebBrowserBox::embed() {
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&object_))) ||
        !object_) {
        object_ = nullptr;
        return false;
    }
    site_ = new BrowserSite(box_);
    site_->setObject(object_);
    if (FAILED(object_->SetClientSite(site_->clientSite()))) return false;
    OleSetContainedObject(object_, TRUE);
    RECT area{};
    GetClientRect(box_, &area);
    if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_->clientSite(), 0, box_,
                               &area)))
        return false;
    if (FAILED(object_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_))) ||
        !browser_) {
        browser_ = nullptr;
        return false;
    }
    // The browser may show its own dialogs, and fetches from the network.
    browser_->put_Silent(VARIANT_FALSE);
    browser_->put_Offline(VARIANT_FALSE);
    connectEvents();
    setTextSizeMedium();
    return true;
}

void WebBrowserBox::connectEvents() {
    IConnectionPointContainer* points = nullptr;
    if (FAILED(browser_->QueryInterface(IID_IConnectionPointContainer,
                                        reinterpret_cast<void**>(&points))) ||
        !points)
        return;
    if (SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &connection_)) &&
        connection_) {
        if (FAILED(connection_->Advise(sink_, &cookie_))) {
            connection_->Release();
            connection_ = nullptr;
        }
    } else {
        connection_ = nullptr;
    }
    points->Release();
}

// Lets go of the control in the reverse order of embed(); safe on a half-made embedding.
void WebBrowserBox::close() {
    if (connection_) {
        connection_->Unadvise(cookie_);
        connection_->Release();
        connection_ = nullptr;
    }
    if (browser_) {
        browser_->Stop();
        browser_->Release();
        browser_ = nullptr;
    }
    if (object_) {
        IOleInPlaceObject* inPlace = nullptr;
        if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject,
                                              reinterpret_cast<void**>(&inPlace))) &&
            inPlace) {
            inPlace->InPlaceDeactivate();
            inPlace->Release();
        }
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_->Release();
        object_ = nullptr;
    }
    if (site_) {
        site_->setObject(nullptr);
        site_->release();
        site_ = nullptr;
    }
}

void WebBrowserBox::navigate(std::string_view address) {
    addresses_.emplace_back(address);
    if (!browser_) return;
    std::wstring wide = widen(address);
    BSTR url = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!url) return;
    // No flags, no target frame, no post data, no extra headers.
    VARIANT none;
    VariantInit(&none);
    browser_->Navigate(url, &none, &none, &none, &none);
    SysFreeString(url);
}

bool WebBrowserBox::translateKey(MSG& msg) {
    if (!browser_ || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST ||
        msg.wParam == VK_ESCAPE)
        return false;
    if (!IsChild(box_, msg.hwnd)) return false;
    IOleInPlaceActiveObject* active = nullptr;
    if (FAILED(browser_->QueryInterface(IID_IOleInPlaceActiveObject,
                                        reinterpret_cast<void**>(&active))) ||
        !active)
        return false;
    bool used = active->TranslateAccelerator(&msg) == S_OK;
    active->Release();
    return used;
}

void WebBrowserBox::fitToBox() {
    if (!site_) return;
    RECT area{};
    GetClientRect(box_, &area);
    site_->resizeObject(area);
}

// Best effort: a page that has not loaded yet refuses the command, so it is repeated per page.
void WebBrowserBox::setTextSizeMedium() {
    if (!browser_) return;
    VARIANT size;
    VariantInit(&size);
    size.vt = VT_I4;
    size.lVal = kTextSizeMedium;
    browser_->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &size, nullptr);
}

void WebBrowserBox::statusTextChanged(std::wstring_view text) {
    status_ = narrow(text);
}

bool WebBrowserBox::newWindowAllowed() {
    return !onNewWindow || onNewWindow() != false;
}

LRESULT CALLBACK WebBrowserBox::boxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR self) {
    // The control follows the box: the layout of the theory tab resizes it.
    if (message == WM_SIZE) reinterpret_cast<WebBrowserBox*>(self)->fitToBox();
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace tovren::platform::window

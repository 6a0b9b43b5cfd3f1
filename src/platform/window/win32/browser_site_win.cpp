#include "platform/window/win32/browser_site.h"

namespace tovren::platform::window {
namespace {

template <class Interface>
HRESULT handOut(Interface* what, void** object) {
    *object = what;
    what->AddRef();
    return S_OK;
}

RECT clientRect(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return r;
}

}  // namespace

// ---- the site: one reference count, one identity for every interface ----

HRESULT BrowserSite::queryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite)
        return handOut<IOleClientSite>(&clientSite_, object);
    if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
        return handOut<IOleInPlaceSite>(&inPlaceSite_, object);
    if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
        return handOut<IOleInPlaceFrame>(&inPlaceFrame_, object);
    if (riid == IID_IDocHostUIHandler) return handOut<IDocHostUIHandler>(&uiHandler_, object);
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG BrowserSite::addRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG BrowserSite::release() {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

void BrowserSite::resizeObject(const RECT& position) {
    if (!object_) return;
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(
            object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace))) &&
        inPlace) {
        inPlace->SetObjectRects(&position, &position);
        inPlace->Release();
    }
}

// ---- IOleClientSite ----

HRESULT STDMETHODCALLTYPE BrowserClientSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE BrowserClientSite::GetContainer(IOleContainer** container) {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
}

// ---- IOleInPlaceSite ----

HRESULT STDMETHODCALLTYPE BrowserInPlaceSite::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = site_.box();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BrowserInPlaceSite::GetWindowContext(IOleInPlaceFrame** frame,
                                                               IOleInPlaceUIWindow** document,
                                                               LPRECT position, LPRECT clip,
                                                               LPOLEINPLACEFRAMEINFO info) {
    if (!frame || !document || !position || !clip || !info) return E_POINTER;
    *frame = site_.frame();
    (*frame)->AddRef();
    *document = nullptr;  // the frame is the document window too
    *position = clientRect(site_.box());
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(site_.box(), GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BrowserInPlaceSite::OnPosRectChange(LPCRECT position) {
    if (!position) return E_POINTER;
    site_.resizeObject(*position);
    return S_OK;
}

// ---- IOleInPlaceFrame ----

HRESULT STDMETHODCALLTYPE BrowserInPlaceFrame::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = GetAncestor(site_.box(), GA_ROOT);
    return S_OK;
}

// ---- IDocHostUIHandler ----

HRESULT STDMETHODCALLTYPE BrowserUiHandler::GetHostInfo(DOCHOSTUIINFO* info) {
    if (!info) return E_POINTER;
    info->cbSize = sizeof *info;
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    info->pchHostCss = nullptr;
    info->pchHostNS = nullptr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BrowserUiHandler::GetOptionKeyPath(LPOLESTR* key, DWORD) {
    if (key) *key = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE BrowserUiHandler::GetDropTarget(IDropTarget*, IDropTarget** target) {
    if (target) *target = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE BrowserUiHandler::GetExternal(IDispatch** external) {
    if (external) *external = nullptr;
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE BrowserUiHandler::TranslateUrl(DWORD, LPWSTR, LPWSTR* out) {
    if (out) *out = nullptr;
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE BrowserUiHandler::FilterDataObject(IDataObject*, IDataObject** out) {
    if (out) *out = nullptr;
    return S_FALSE;
}

}  // namespace tovren::platform::window

#pragma once
// The container side of the hosted WebBrowser control: the few OLE interfaces a control asks of
// its site to activate in place inside a child window. Each interface is a small class; they share
// the reference count of the BrowserSite that holds them.
#include <windows.h>

#include <ole2.h>
#include <mshtmhst.h>

namespace tovren::platform::window {

class BrowserSite;

// One of the site's interfaces: IUnknown goes to the site, whose one count they all share.
template <class Interface>
class BrowserSitePart : public Interface {
public:
    explicit BrowserSitePart(BrowserSite& site) : site_(site) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

protected:
    BrowserSite& site_;
};

class BrowserClientSite final : public BrowserSitePart<IOleClientSite> {
public:
    using BrowserSitePart::BrowserSitePart;

    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override;
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

};

// IOleInPlaceSite, with the IOleWindow it derives from.
class BrowserInPlaceSite final : public BrowserSitePart<IOleInPlaceSite> {
public:
    using BrowserSitePart::BrowserSitePart;

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(WINBOOL) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame,
                                               IOleInPlaceUIWindow** document, LPRECT position,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT position) override;

};

// IOleInPlaceFrame, with IOleInPlaceUIWindow and IOleWindow: no menus, no toolbars, no borders.
class BrowserInPlaceFrame final : public BrowserSitePart<IOleInPlaceFrame> {
public:
    using BrowserSitePart::BrowserSitePart;

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(WINBOOL) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
        return INPLACE_E_NOTOOLSPACE;
    }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

};

// Asks the browser for pages without its own 3-D border; everything else is the browser's default.
class BrowserUiHandler final : public BrowserSitePart<IDocHostUIHandler> {
public:
    using BrowserSitePart::BrowserSitePart;

    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override;
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                     IOleInPlaceFrame*, IOleInPlaceUIWindow*) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, WINBOOL) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override {
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override;
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** target) override;
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override;
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override;
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override;

};

// The site of one control in the child window `box`. Created with one reference.
class BrowserSite {
public:
    explicit BrowserSite(HWND box) : box_(box) {}
    BrowserSite(const BrowserSite&) = delete;
    BrowserSite& operator=(const BrowserSite&) = delete;

    HRESULT queryInterface(REFIID riid, void** object);
    ULONG addRef();
    ULONG release();

    IOleClientSite* clientSite() { return &clientSite_; }
    IOleInPlaceFrame* frame() { return &inPlaceFrame_; }
    HWND box() const { return box_; }
    // The control placed in the site, to move it when it asks; cleared when it goes.
    void setObject(IOleObject* object) { object_ = object; }
    void resizeObject(const RECT& position);

private:
    ~BrowserSite() = default;

    LONG references_ = 1;
    HWND box_;
    IOleObject* object_ = nullptr;  // not owned
    BrowserClientSite clientSite_{*this};
    BrowserInPlaceSite inPlaceSite_{*this};
    BrowserInPlaceFrame inPlaceFrame_{*this};
    BrowserUiHandler uiHandler_{*this};
};

template <class Interface>
HRESULT STDMETHODCALLTYPE BrowserSitePart<Interface>::QueryInterface(REFIID riid, void** object) {
    return site_.queryInterface(riid, object);
}
template <class Interface>
ULONG STDMETHODCALLTYPE BrowserSitePart<Interface>::AddRef() {
    return site_.addRef();
}
template <class Interface>
ULONG STDMETHODCALLTYPE BrowserSitePart<Interface>::Release() {
    return site_.release();
}

}  // namespace tovren::platform::window

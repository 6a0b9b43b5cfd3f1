#pragma once
// The DWebBrowserEvents2 sink of the hosted WebBrowser control: the browser calls Invoke for
// each of its events; two of them matter here, the status-bar text and the new-window question.
#include <windows.h>

#include <exdisp.h>

#include <string_view>

namespace tovren::platform::window {

// What the sink reports to its host.
class BrowserEvents {
public:
    virtual ~BrowserEvents() = default;
    virtual void statusTextChanged(std::wstring_view text) = 0;
    // The browser is about to open a new window: false refuses it.
    virtual bool newWindowAllowed() = 0;
    // A page (or a frame of one) has finished loading.
    virtual void documentComplete() {}
};

// Reference-counted: created with one reference, freed by the last Release.
class BrowserEventSink final : public IDispatch {
public:
    explicit BrowserEventSink(BrowserEvents* events) : events_(events) {}
    BrowserEventSink(const BrowserEventSink&) = delete;
    BrowserEventSink& operator=(const BrowserEventSink&) = delete;

    // The host is going: later events are answered but reach nobody.
    void detach() { events_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* badArgument) override;

private:
    ~BrowserEventSink() = default;
    HRESULT statusTextChange(const DISPPARAMS& params, UINT* badArgument);
    HRESULT newWindow2(const DISPPARAMS& params, UINT* badArgument);

    LONG references_ = 1;
    BrowserEvents* events_;
};

}  // namespace tovren::platform::window

#include "platform/window/win32/browser_event_sink.h"

#include <exdispid.h>

#include <new>

#include "platform/out_of_memory.h"

namespace tovren::platform::window {

HRESULT STDMETHODCALLTYPE BrowserEventSink::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE BrowserEventSink::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG STDMETHODCALLTYPE BrowserEventSink::Release() {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

// Events arrive by DISPID alone: the sink has no type information and no names.
HRESULT STDMETHODCALLTYPE BrowserEventSink::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::Invoke(DISPID id, REFIID, LCID, WORD,
                                                   DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                                   UINT* badArgument) {
    // The host may go while its handler runs (a window destroyed from it): keep the sink alive.
    AddRef();
    HRESULT result = DISP_E_MEMBERNOTFOUND;
    try {
        switch (id) {
            case DISPID_STATUSTEXTCHANGE:
                result = params ? statusTextChange(*params, badArgument) : DISP_E_BADPARAMCOUNT;
                break;
            case DISPID_NEWWINDOW2:
                result = params ? newWindow2(*params, badArgument) : DISP_E_BADPARAMCOUNT;
                break;
            case DISPID_DOCUMENTCOMPLETE:
                if (events_) events_->documentComplete();
                result = S_OK;
                break;
            default:
                break;
        }
    } catch (const std::bad_alloc&) {
        outOfMemory();
    } catch (...) {
        // No exception crosses into the browser.
        result = DISP_E_EXCEPTION;
    }
    Release();
    return result;
}

// StatusTextChange(BSTR text)
HRESULT BrowserEventSink::statusTextChange(const DISPPARAMS& params, UINT* badArgument) {
    if (params.cArgs != 1 || !params.rgvarg) return DISP_E_BADPARAMCOUNT;
    const VARIANT& text = params.rgvarg[0];
    if (text.vt != VT_BSTR) {
        if (badArgument) *badArgument = 0;
        return DISP_E_TYPEMISMATCH;
    }
    // A null BSTR is the empty text.
    std::wstring_view value = text.bstrVal
                                  ? std::wstring_view(text.bstrVal, SysStringLen(text.bstrVal))
                                  : std::wstring_view();
    if (events_) events_->statusTextChanged(value);
    return S_OK;
}

// NewWindow2(IDispatch** ppDisp, VARIANT_BOOL* Cancel); the arguments come last first.
HRESULT BrowserEventSink::newWindow2(const DISPPARAMS& params, UINT* badArgument) {
    if (params.cArgs != 2 || !params.rgvarg) return DISP_E_BADPARAMCOUNT;
    const VARIANT& cancel = params.rgvarg[0];
    const VARIANT& newBrowser = params.rgvarg[1];
    if (cancel.vt != (VT_BOOL | VT_BYREF) || !cancel.pboolVal) {
        if (badArgument) *badArgument = 0;
        return DISP_E_TYPEMISMATCH;
    }
    if (newBrowser.vt != (VT_DISPATCH | VT_BYREF)) {
        if (badArgument) *badArgument = 1;
        return DISP_E_TYPEMISMATCH;
    }
    VARIANT_BOOL* refuse = cancel.pboolVal;
    if (events_ && !events_->newWindowAllowed()) *refuse = VARIANT_TRUE;
    return S_OK;
}

}  // namespace tovren::platform::window

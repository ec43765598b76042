#include "marrowby/dialogs/url_drop_target.h"

#include <new>
#include <string.h>

namespace {

// Dropped text that does not end inside its memory block is cut to this.
constexpr size_t kBoundedTextSize = 4096;

}  // namespace

UrlDropTarget* CreateUrlDropTarget()
{
    return new (std::nothrow) UrlDropTarget();
}

void UrlDropTarget::Attach(HWND window, UINT message)
{
    window_ = window;
    message_ = message;
}

HRESULT STDMETHODCALLTYPE UrlDropTarget::QueryInterface(REFIID iid, void** object)
{
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IDropTarget) || IsEqualIID(iid, IID_IUnknown)) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE UrlDropTarget::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refCount_));
}

ULONG STDMETHODCALLTYPE UrlDropTarget::Release()
{
    LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) {
        ForgetData();
        delete this;
    }
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE UrlDropTarget::DragEnter(IDataObject* data, DWORD /*keys*/, POINTL /*point*/, DWORD* effect)
{
    *effect = DROPEFFECT_MOVE;
    ForgetData();  // a drag that never left must not leak its data object
    data_ = data;
    if (data_) data_->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE UrlDropTarget::DragOver(DWORD /*keys*/, POINTL /*point*/, DWORD* effect)
{
    *effect = data_ ? DROPEFFECT_LINK : DROPEFFECT_NONE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE UrlDropTarget::DragLeave()
{
    ForgetData();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE UrlDropTarget::Drop(IDataObject* data, DWORD /*keys*/, POINTL /*point*/, DWORD* effect)
{
    if (!data_) {
        *effect = DROPEFFECT_NONE;
        return E_FAIL;
    }
    *effect = DROPEFFECT_LINK;
    // OLE ends the drag with Drop instead of DragLeave, so the reference
    // taken in DragEnter is given back on every path from here on.
    IDataObject* source = data ? data : data_;
    FORMATETC format = {CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (FAILED(source->GetData(&format, &medium))) {
        ForgetData();
        return E_FAIL;
    }
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) SendText(medium.hGlobal);
    ReleaseStgMedium(&medium);
    ForgetData();
    return S_OK;
}

void UrlDropTarget::ForgetData()
{
    if (data_) {
        data_->Release();
        data_ = nullptr;
    }
}

// The text goes to the window as it is, unless the source forgot its NUL:
// then a terminated copy, cut to a bounded length, is sent instead.
void UrlDropTarget::SendText(HGLOBAL text)
{
    const char* locked = static_cast<const char*>(GlobalLock(text));
    if (!locked) return;
    size_t size = GlobalSize(text);
    if (memchr(locked, 0, size)) {
        SendMessageA(window_, message_, 0, reinterpret_cast<LPARAM>(locked));
    } else {
        char bounded[kBoundedTextSize];
        size_t length = size < sizeof(bounded) - 1 ? size : sizeof(bounded) - 1;
        memcpy(bounded, locked, length);
        bounded[length] = '\0';
        SendMessageA(window_, message_, 0, reinterpret_cast<LPARAM>(bounded));
    }
    GlobalUnlock(text);
}

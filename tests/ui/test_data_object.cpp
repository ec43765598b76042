#include "tests/ui/test_data_object.h"

#include <string.h>

TestDataObject::TestDataObject(const std::string& text, bool hasText, bool terminate)
    : text_(text), hasText_(hasText), terminate_(terminate)
{}

HRESULT STDMETHODCALLTYPE TestDataObject::QueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IDataObject) || IsEqualIID(iid, IID_IUnknown)) {
        *object = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// The test owns the object; the count only shows whether references balance.
ULONG STDMETHODCALLTYPE TestDataObject::AddRef()
{
    return static_cast<ULONG>(++references_);
}

ULONG STDMETHODCALLTYPE TestDataObject::Release()
{
    return static_cast<ULONG>(--references_);
}

HRESULT STDMETHODCALLTYPE TestDataObject::QueryGetData(FORMATETC* format)
{
    return hasText_ && format->cfFormat == CF_TEXT && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
}

HRESULT STDMETHODCALLTYPE TestDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out)
{
    out->ptd = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TestDataObject::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    ++getDataCalls_;
    if (QueryGetData(format) != S_OK || format->lindex != -1 || format->dwAspect != DVASPECT_CONTENT)
        return DV_E_FORMATETC;
    size_t size = text_.size() + (terminate_ ? 1 : 0);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    if (!memory) return E_OUTOFMEMORY;
    char* bytes = static_cast<char*>(GlobalLock(memory));
    memcpy(bytes, text_.data(), text_.size());
    if (terminate_) bytes[text_.size()] = '\0';
    GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = new MediumRelease(this, memory);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestDataObject::MediumRelease::QueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IUnknown)) {
        *object = this;
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TestDataObject::MediumRelease::Release()
{
    ULONG left = --references_;
    if (left == 0) {
        ++owner_->mediaReleased_;
        GlobalFree(memory_);
        delete this;
    }
    return left;
}

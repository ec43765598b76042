// A data object as a drag source hands it over: it offers its text as
// CF_TEXT in global memory (or offers nothing) and counts its references.
#pragma once

#include <string>
#include <windows.h>
#include <ole2.h>

class TestDataObject : public IDataObject {
public:
    // hasText false: GetData fails for every format. terminate false: the
    // memory block holds the text without its NUL.
    TestDataObject(const std::string& text, bool hasText, bool terminate = true);
    virtual ~TestDataObject() = default;

    LONG references() const { return references_; }
    int getDataCalls() const { return getDataCalls_; }
    int mediaReleased() const { return mediaReleased_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override
    {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    // Handed out as the medium's release object, so that the test sees
    // ReleaseStgMedium happen; it frees the memory block.
    class MediumRelease : public IUnknown {
    public:
        MediumRelease(TestDataObject* owner, HGLOBAL memory) : owner_(owner), memory_(memory) {}
        virtual ~MediumRelease() = default;
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
        ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
        ULONG STDMETHODCALLTYPE Release() override;

    private:
        TestDataObject* owner_;
        HGLOBAL memory_;
        ULONG references_ = 1;
    };

    std::string text_;
    bool hasText_;
    bool terminate_;
    LONG references_ = 1;
    int getDataCalls_ = 0;
    int mediaReleased_ = 0;
};

// OLE drop target of the main window: text dropped on the window (a link
// dragged from a browser) is sent to the window as a message carrying the
// text. Called by OLE on the GUI thread that registered it.
#pragma once

#include <windows.h>
#include <ole2.h>

class UrlDropTarget : public IDropTarget {
public:
    // Binds the target to the window and message that receive dropped text.
    void Attach(HWND window, UINT message);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

private:
    friend UrlDropTarget* CreateUrlDropTarget();
    UrlDropTarget() = default;
    virtual ~UrlDropTarget() = default;  // only Release deletes

    void ForgetData();
    void SendText(HGLOBAL text);

    volatile LONG refCount_ = 1;   // changed only by interlocked operations
    IDataObject* data_ = nullptr;  // the drag in progress, held since DragEnter
    HWND window_ = nullptr;
    UINT message_ = WM_APP;
};

// A new target with one reference, or null when memory is exhausted.
UrlDropTarget* CreateUrlDropTarget();

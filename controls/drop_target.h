#pragma once

// An OLE drop target that takes files dragged from the desktop shell, and only those: a drag of
// text, a link or an HTML fragment is refused. The dropped paths reach the handler as one text:
// the path itself for one file; for several, every path followed by CR LF, joined.

#include <ole2.h>
#include <windows.h>

#include <functional>
#include <string>

namespace quarnel::ui {

class FileDropTarget : public IDropTarget {
public:
    explicit FileDropTarget(std::function<void(const std::wstring& paths)> on_drop);

    // Registers the target on a window; revoked on destruction.
    bool register_on(HWND hwnd);
    void revoke();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDropTarget
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

    // The paths of a shell file drag as one text; empty when the data holds no files.
    static std::wstring dropped_paths(IDataObject* data);

protected:
    // Ends with its last reference (the owner's, and OLE's while registered).
    virtual ~FileDropTarget();

private:
    std::function<void(const std::wstring&)> on_drop_;
    LONG references_ = 1;
    HWND registered_on_ = nullptr;
    bool accept_ = false;
};

}  // namespace quarnel::ui

#include "controls/drop_target.h"

#include <shellapi.h>

namespace quarnel::ui {

namespace {

bool holds_files(IDataObject* data) {
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return data && data->QueryGetData(&format) == S_OK;
}

}  // namespace

FileDropTarget::FileDropTarget(std::function<void(const std::wstring&)> on_drop) : on_drop_(std::move(on_drop)) {}

FileDropTarget::~FileDropTarget() = default;

bool FileDropTarget::register_on(HWND hwnd) {
    revoke();
    if (FAILED(RegisterDragDrop(hwnd, this)))
        return false;
    registered_on_ = hwnd;
    return true;
}

void FileDropTarget::revoke() {
    if (registered_on_) {
        RevokeDragDrop(registered_on_);
        registered_on_ = nullptr;
    }
}

HRESULT FileDropTarget::QueryInterface(REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG FileDropTarget::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG FileDropTarget::Release() {
    LONG count = InterlockedDecrement(&references_);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

HRESULT FileDropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    accept_ = holds_files(data);
    *effect = accept_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
}

HRESULT FileDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    *effect = accept_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    return S_OK;
}

HRESULT FileDropTarget::DragLeave() {
    accept_ = false;
    return S_OK;
}

HRESULT FileDropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    accept_ = false;
    std::wstring paths = dropped_paths(data);
    if (paths.empty()) {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    *effect = DROPEFFECT_COPY;
    if (on_drop_)
        on_drop_(paths);
    return S_OK;
}

std::wstring FileDropTarget::dropped_paths(IDataObject* data) {
    if (!holds_files(data))
        return {};
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium)))
        return {};
    std::wstring joined;
    auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
    if (drop) {
        UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            UINT length = DragQueryFileW(drop, i, nullptr, 0);
            std::wstring path(length + 1, L'\0');
            path.resize(DragQueryFileW(drop, i, path.data(), length + 1));
            joined += path;
            if (count > 1)
                joined += L"\r\n";
        }
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    return joined;
}

}  // namespace quarnel::ui

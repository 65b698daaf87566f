#include "win_test_util.h"

#include "winbase/text.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace quarnel::test {

std::wstring wine_path(std::string_view linux_path) {
    std::wstring path = L"Z:" + win::utf8_to_wide(linux_path);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

win::UniqueKernelHandle process_of_window(HWND hwnd) {
    DWORD process_id = 0;
    if (!hwnd || !GetWindowThreadProcessId(hwnd, &process_id))
        return {};
    return win::UniqueKernelHandle(OpenProcess(SYNCHRONIZE, FALSE, process_id));
}

namespace {

struct WindowSearch {
    DWORD process_id;
    const wchar_t* class_name;
    HWND window = nullptr;
};

BOOL CALLBACK match_window(HWND hwnd, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    if (pid != search->process_id || std::wcscmp(name, search->class_name) != 0)
        return TRUE;
    search->window = hwnd;
    return FALSE;
}

}  // namespace

HWND window_of_process(DWORD process_id, const wchar_t* class_name) {
    WindowSearch search{process_id, class_name};
    EnumWindows(&match_window, reinterpret_cast<LPARAM>(&search));
    return search.window;
}

HWND start_program(const std::wstring& program,
                   const std::wstring& folder,
                   PROCESS_INFORMATION& process,
                   DWORD timeout_ms) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring command_line = L"\"" + program + L"\"";
    if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    HWND window = nullptr;
    pump_until(
        [&] {
            window = window_of_process(process.dwProcessId, L"QuarnelMainWindow");
            return window && IsWindowVisible(window);
        },
        timeout_ms);
    return window && IsWindowVisible(window) ? window : nullptr;
}

bool pump_until_ended(std::span<const win::UniqueKernelHandle> processes, DWORD timeout_ms) {
    return pump_until(
        [&] {
            return std::all_of(processes.begin(), processes.end(), [](const win::UniqueKernelHandle& p) {
                return !p || WaitForSingleObject(p.get(), 0) == WAIT_OBJECT_0;
            });
        },
        timeout_ms);
}

namespace {
bool set_to_one(const wchar_t* name) {
    wchar_t value[8] = {};
    DWORD length = GetEnvironmentVariableW(name, value, 8);
    return length == 1 && value[0] == L'1';
}
}  // namespace

bool full_benchmark() {
    return set_to_one(L"QUARNEL_BENCH_FULL");
}
bool soak_benchmark() {
    return set_to_one(L"QUARNEL_BENCH_SOAK");
}

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    wchar_t name[MAX_PATH];
    GetTempFileNameW(base, L"qtf", 0, name);
    DeleteFileW(name);
    CreateDirectoryW(name, nullptr);
    path_ = name;
}

TempFolder::~TempFolder() {
    // SHFileOperation wants a double-NUL-terminated list.
    std::wstring from = path_ + L'\0';
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&op);
}

std::wstring TempFolder::write_file(const std::wstring& name, const std::string& bytes) const {
    std::wstring full = path_ + L"\\" + name;
    HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
    return full;
}

namespace {

class DataObject : public IDataObject {
public:
    DataObject(CLIPFORMAT format, HGLOBAL data) : format_(format), data_(data) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) {
            GlobalFree(data_);
            delete this;
        }
        return static_cast<ULONG>(n);
    }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (QueryGetData(format) != S_OK)
            return DV_E_FORMATETC;
        SIZE_T size = GlobalSize(data_);
        HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
        std::memcpy(GlobalLock(copy), GlobalLock(data_), size);
        GlobalUnlock(data_);
        GlobalUnlock(copy);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = copy;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        return format->cfFormat == format_ && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    virtual ~DataObject() = default;
    LONG refs_ = 1;
    CLIPFORMAT format_;
    HGLOBAL data_;
};

}  // namespace

IDataObject* make_file_data_object(const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const std::wstring& p : paths)
        list += p + L'\0';
    list += L'\0';
    SIZE_T size = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(data));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(data);
    return new DataObject(CF_HDROP, data);
}

IDataObject* make_text_data_object(const std::wstring& text) {
    SIZE_T size = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    std::memcpy(GlobalLock(data), text.c_str(), size);
    GlobalUnlock(data);
    return new DataObject(CF_UNICODETEXT, data);
}

void set_modifier_keys(bool ctrl, bool shift, bool alt) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = ctrl ? 0x80 : 0;
    keys[VK_LCONTROL] = ctrl ? 0x80 : 0;
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    keys[VK_LSHIFT] = shift ? 0x80 : 0;
    keys[VK_MENU] = alt ? 0x80 : 0;
    keys[VK_LMENU] = alt ? 0x80 : 0;
    SetKeyboardState(keys);
}

std::string solid_icon(COLORREF colour) {
    std::string ico;
    auto put16 = [&](unsigned v) {
        ico += char(v & 0xFF);
        ico += char(v >> 8 & 0xFF);
    };
    auto put32 = [&](unsigned v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    put16(0), put16(1), put16(1);
    const unsigned image_size = 40 + 16 * 16 * 4 + 16 * 4;
    ico += char(16), ico += char(16), ico += char(0), ico += char(0);
    put16(1), put16(32), put32(image_size), put32(22);
    put32(40), put32(16), put32(32), put16(1), put16(32);
    for (int i = 0; i < 6; ++i)
        put32(0);
    for (int i = 0; i < 16 * 16; ++i) {
        ico += char(GetBValue(colour)), ico += char(GetGValue(colour)), ico += char(GetRValue(colour));
        ico += char(0xFF);
    }
    ico.append(16 * 4, '\0');
    return ico;
}

// The first child of `parent` of the class and, when given, the caption.
}  // namespace quarnel::test

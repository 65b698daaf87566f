#include "app/outside_effects.h"

#include "app/http_fetch.h"
#include "controls/message_box.h"

#include <shellapi.h>

#include <cstring>
#include <vector>

namespace quarnel {

int OutsideEffects::message_box(const std::wstring& text, const std::wstring& title, UINT flags) {
    return ui::show_message_box(text, title, flags);
}

void OutsideEffects::show_popup_menu(const ui::PopupMenu& menu, HWND owner, POINT screen_point) {
    menu.show(owner, screen_point);
}

std::string OutsideEffects::fetch(const std::string& url, size_t max_bytes) {
    return http_fetch(url, max_bytes);
}

void OutsideEffects::set_clipboard_text(const std::string& text) {
    if (!OpenClipboard(nullptr))
        return;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (memory) {
        if (void* bytes = GlobalLock(memory)) {
            memcpy(bytes, text.c_str(), text.size() + 1);
            GlobalUnlock(memory);
            if (!SetClipboardData(CF_TEXT, memory))
                GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

void OutsideEffects::shell_open(const std::string& address) {
    ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void OutsideEffects::open_file(const std::wstring& path) {
    ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::optional<std::wstring> OutsideEffects::choose_save_file(const SaveFileDialog& dialog) {
    // The filter's parts are separated by NULs and end with two.
    std::wstring filter = dialog.filter;
    for (wchar_t& c : filter) {
        if (c == L'|')
            c = L'\0';
    }
    filter.push_back(L'\0');
    std::vector<wchar_t> file(32768, L'\0');
    dialog.file_name.copy(file.data(), file.size() - 1);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = dialog.owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = dialog.initial_folder.empty() ? nullptr : dialog.initial_folder.c_str();
    ofn.lpstrTitle = dialog.title.c_str();
    ofn.lpstrDefExt = dialog.default_extension.empty() ? nullptr : dialog.default_extension.c_str();
    ofn.Flags = dialog.options | OFN_EXPLORER;
    if (!GetSaveFileNameW(&ofn))
        return std::nullopt;
    return std::wstring(file.data());
}

void OutsideEffects::show_balloon(ui::BalloonTip& balloon, POINT screen_point, const std::wstring& text) {
    balloon.pop_up(screen_point, text, true);
}

}  // namespace quarnel

#include "app/outside_effects.h"

#include "app/http_fetch.h"
#include "controls/message_box.h"

#include <shellapi.h>

#include <cstring>

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

void OutsideEffects::show_balloon(ui::BalloonTip& balloon, POINT screen_point, const std::wstring& text) {
    balloon.pop_up(screen_point, text, 0, true);
}

}  // namespace quarnel

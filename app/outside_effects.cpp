#include "app/outside_effects.h"

#include "app/http_fetch.h"
#include "controls/message_box.h"

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

}  // namespace quarnel

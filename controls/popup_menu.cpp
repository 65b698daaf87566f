#include "controls/popup_menu.h"

namespace quarnel::ui {

void PopupMenu::add_item(UINT id, const wchar_t* caption, std::function<void()> handler) {
    items_.push_back(Item{id, caption, std::move(handler)});
}

bool PopupMenu::create() {
    menu_.reset(CreatePopupMenu());
    if (!menu_)
        return false;
    for (const Item& item : items_) {
        if (item.caption)
            AppendMenuW(menu_.get(), MF_STRING, item.id, item.caption);
        else
            AppendMenuW(menu_.get(), MF_SEPARATOR, 0, nullptr);
    }
    return true;
}

void PopupMenu::show(HWND owner, POINT screen_point) const {
    // The owner must be the foreground window, or the menu would not close when the user
    // clicks elsewhere.
    SetForegroundWindow(owner);
    TrackPopupMenuEx(menu_.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, screen_point.x, screen_point.y, owner,
                     nullptr);
    PostMessageW(owner, WM_NULL, 0, 0);
}

POINT PopupMenu::beside_cursor() {
    constexpr int kOffset = 3;
    POINT at{};
    GetCursorPos(&at);
    return POINT{at.x + kOffset, at.y + kOffset};
}

bool PopupMenu::dispatch(UINT id) {
    for (const Item& item : items_) {
        if (item.caption && item.id == id) {
            if (item.handler)
                item.handler();
            return true;
        }
    }
    return false;
}

}  // namespace quarnel::ui

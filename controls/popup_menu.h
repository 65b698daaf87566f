#pragma once

// A hidden menu shown only as a pop-up. Its items carry command ids; the owner window passes
// WM_COMMAND from a menu to PopupMenu::dispatch, which runs the item's handler.

#include "winbase/handles.h"

#include <functional>
#include <string>
#include <vector>

namespace quarnel::ui {

class PopupMenu {
public:
    // Adds an item with its command id, or a separator when `caption` is null.
    void add_item(UINT id, const wchar_t* caption, std::function<void()> handler = nullptr);
    void add_separator() { add_item(0, nullptr); }
    bool create();

    HMENU handle() const { return menu_.get(); }

    // Shows the menu at a screen point, tracking the right mouse button, and returns once it
    // closes; the chosen item's WM_COMMAND goes to `owner`.
    void show(HWND owner, POINT screen_point) const;

    bool dispatch(UINT id);

    // Where a menu opened by the pointer goes: just below and right of the cursor, so that the
    // first item is not under the pointer when the button that opened the menu is released.
    static POINT beside_cursor();

private:
    struct Item {
        UINT id;
        const wchar_t* caption;
        std::function<void()> handler;
    };
    std::vector<Item> items_;
    win::UniqueMenu menu_;
};

}  // namespace quarnel::ui

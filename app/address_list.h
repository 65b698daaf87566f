#pragma once

// The address list: rows built from the address text, files dropped on the box or the list,
// clearing both, and the list's right-click menu.

#include "app/outside_effects.h"
#include "controls/controls.h"
#include "controls/drop_target.h"
#include "controls/list_view.h"
#include "controls/popup_menu.h"
#include "controls/window.h"
#include "winbase/handles.h"

#include <string>

namespace quarnel {

class AddressList {
public:
    AddressList(ui::Window& window,
                ui::EditBox& text_box,
                ui::ListView& list,
                ui::PopupMenu& menu,
                OutsideEffects& effects);

    void read_urls();
    // Replaces the address text with the file's bytes. Returns false, changing nothing, when
    // `path` does not name one readable, non-empty file.
    bool load_dropped_file(const std::wstring& path);
    void drop_on_text_box(const std::wstring& paths);
    void drop_on_list(const std::wstring& paths);
    void clear_urls();
    void show_list_menu();

    // The drop targets on the address box and the list: registered once the window is made,
    // revoked when it is destroyed, while both windows still exist.
    void register_drop_targets();
    void revoke_drop_targets();
    win::ComPtr<ui::FileDropTarget> text_drop_target;
    win::ComPtr<ui::FileDropTarget> list_drop_target;

private:
    ui::Window& window_;
    ui::EditBox& text_box_;
    ui::ListView& list_;
    ui::PopupMenu& menu_;
    OutsideEffects& effects_;
};

}  // namespace quarnel

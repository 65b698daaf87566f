#include "app/address_list.h"

#include "app/texts.h"
#include "core/text_table.h"
#include "core/url_lines.h"
#include "winbase/files.h"

namespace quarnel {

AddressList::AddressList(ui::Window& window,
                         ui::EditBox& text_box,
                         ui::ListView& list,
                         ui::PopupMenu& menu,
                         OutsideEffects& effects)
    : text_drop_target(new ui::FileDropTarget([this](const std::wstring& paths) { drop_on_text_box(paths); })),
      list_drop_target(new ui::FileDropTarget([this](const std::wstring& paths) { drop_on_list(paths); })),
      window_(window),
      text_box_(text_box),
      list_(list),
      menu_(menu),
      effects_(effects) {}

void AddressList::read_urls() {
    std::string text = text_box_.text();
    list_.replace_rows([&](TextTable& rows) { rebuild_url_rows(rows, text); });
}

bool AddressList::load_dropped_file(const std::wstring& path) {
    // Several files arrive as one text of CR LF-ended paths, which names no file; so do folders,
    // empty, locked and unreadable files. In every such case the box keeps its text.
    std::optional<std::string> bytes = win::read_file_bytes(path);
    if (!bytes || bytes->empty())
        return false;
    text_box_.set_text(text_before_nul(*bytes));
    return true;
}

void AddressList::drop_on_text_box(const std::wstring& paths) {
    load_dropped_file(paths);
}

void AddressList::drop_on_list(const std::wstring& paths) {
    // Rows are rebuilt only from a text that was actually loaded.
    if (load_dropped_file(paths))
        read_urls();
}

void AddressList::clear_urls() {
    int answer = effects_.message_box(L"确定要清空当前所有网址吗？", kNoticeTitle, MB_YESNO | MB_DEFBUTTON1);
    if (answer != IDYES)
        return;
    text_box_.set_text("");
    list_.delete_all_rows();
}

void AddressList::show_list_menu() {
    int row = list_.current_row();
    if (list_.cell_text(row, kUrlColumn).empty())
        return;
    effects_.show_popup_menu(menu_, window_.hwnd(), ui::PopupMenu::beside_cursor());
}

void AddressList::register_drop_targets() {
    text_drop_target->register_on(text_box_.hwnd());
    list_drop_target->register_on(list_.hwnd());
}

void AddressList::revoke_drop_targets() {
    text_drop_target->revoke();
    list_drop_target->revoke();
}

}  // namespace quarnel

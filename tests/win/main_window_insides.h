#pragma once

// The main window's controls and features, for tests that drive them directly, as the window's
// own handlers do. The program itself reaches them only through the window's messages.

#include "app/main_window.h"

namespace quarnel {

class MainWindowInsides {
public:
    explicit MainWindowInsides(MainWindow& window)
        : favicon_picture(window.favicon_picture),
          title_label(window.title_label),
          auto_open_check(window.auto_open_check),
          interval_box(window.interval_box),
          interval_spinner(window.interval_spinner),
          interval_label(window.interval_label),
          start_button(window.start_button),
          url_text_caption(window.url_text_caption),
          keep_on_top_check(window.keep_on_top_check),
          clear_button(window.clear_button),
          url_text_box(window.url_text_box),
          show_url_check(window.show_url_check),
          show_title_check(window.show_title_check),
          show_time_check(window.show_time_check),
          load_button(window.load_button),
          url_list_view(window.url_list_view),
          visit_timer(window.visit_timer),
          capture_timer(window.capture_timer),
          balloon_tip(window.balloon_tip),
          list_menu(window.list_menu),
          tray_menu(window.tray_menu),
          engine(window.engine),
          address_file(window.address_file),
          address_list(window.address_list),
          lifecycle(window.lifecycle),
          visiting(window.visiting),
          list_commands(window.list_commands),
          list_export(window.list_export),
          window_(window) {}

    ui::PictureBox& favicon_picture;
    ui::Label& title_label;
    ui::CheckBox& auto_open_check;
    ui::EditBox& interval_box;
    ui::UpDown& interval_spinner;
    ui::Label& interval_label;
    ui::Button& start_button;
    ui::Label& url_text_caption;
    ui::CheckBox& keep_on_top_check;
    ui::Button& clear_button;
    ui::EditBox& url_text_box;
    ui::CheckBox& show_url_check;
    ui::CheckBox& show_title_check;
    ui::CheckBox& show_time_check;
    ui::Button& load_button;
    ui::ListView& url_list_view;
    ui::Timer& visit_timer;
    ui::Timer& capture_timer;
    ui::BalloonTip& balloon_tip;
    ui::PopupMenu& list_menu;
    ui::PopupMenu& tray_menu;
    EngineKeeper& engine;
    AddressFile& address_file;
    AddressList& address_list;
    Lifecycle& lifecycle;
    Visiting& visiting;
    ListCommands& list_commands;
    ListExport& list_export;

    // Made when the window is, gone with it.
    BrowserView* browser_view() const { return window_.browser_view; }
    void layout_controls() { window_.layout_controls(); }
    bool select_all_on_ctrl_a(unsigned vk, unsigned modifiers) { return window_.select_all_on_ctrl_a(vk, modifiers); }

private:
    MainWindow& window_;
};

}  // namespace quarnel

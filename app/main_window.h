#pragma once

// The program's one window: its controls, components and menus, the layout rule, the window
// options, and the wiring of events to the features (the address list, the address file,
// start-up and shutdown, the timed pass and the title capture, the list's commands, the export),
// each an object of its own.

#include "app/address_file.h"
#include "app/address_list.h"
#include "app/deploy.h"
#include "app/engine_keeper.h"
#include "app/export.h"
#include "app/lifecycle.h"
#include "app/list_commands.h"
#include "app/outside_effects.h"
#include "app/settings.h"
#include "app/texts.h"
#include "app/visiting.h"
#include "browserview/browser_view.h"
#include "controls/balloon_tip.h"
#include "controls/controls.h"
#include "controls/list_view.h"
#include "controls/popup_menu.h"
#include "controls/timer.h"
#include "controls/tray_icon.h"
#include "controls/window.h"
#include "winbase/handles.h"

#include <functional>
#include <memory>
#include <string>

namespace quarnel {

// Commands of the two pop-up menus.
enum MenuCommand : UINT {
    kCmdCopyUrls = 1001,
    kCmdCopyTitles,
    kCmdOpenInDefaultBrowser,
    kCmdExportList,
    kCmdSelectAllRows,
    kCmdInvertSelection,
    kCmdOpenHomePage = 1101,
    kCmdExitProgram,
};

// Window timers.
enum TimerId : UINT_PTR { kVisitTimerId = 1, kCaptureTimerId = 2 };

class MainWindow : public ui::Window {
public:
    static constexpr int kDesignWidth = 1400;
    static constexpr int kDesignHeight = 942;

    // `app_dir`: the program's folder, where it keeps its files. `effects` replaces the real
    // outside effects, for tests.
    explicit MainWindow(std::wstring app_dir, std::unique_ptr<OutsideEffects> effects = nullptr);
    ~MainWindow() override;

    // Creates the window and its controls, centred on the screen at its design size, not yet
    // shown. Returns false when the window could not be made.
    bool create();
    // Starts the browser engine with the first page and lays the controls out; once, after
    // create and before the window is shown.
    void start_up();

    // Runs when the window is being destroyed (the program ends its message loop there).
    std::function<void()> on_destroyed_window;

    // The publisher's servers; the end-to-end build and tests point them elsewhere before
    // start_up.
    Servers servers = configured_servers();

    // The program's folder, without a trailing backslash; every file it uses is in it.
    const std::wstring app_dir;
    std::wstring url_file() const { return app_dir + L"\\网址.txt"; }
    std::wstring runtime_dir() const { return app_dir + L"\\" + kRuntimeDirName; }

protected:
    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override;
    void on_destroyed() override;

private:
    // The window owns its controls, lays them out and wires them to the features; nothing else
    // reaches them but the tests, through this door.
    friend class MainWindowInsides;

    // Visible controls, in design order.
    ui::PictureBox favicon_picture;
    ui::Label title_label;
    ui::CheckBox auto_open_check;
    ui::EditBox interval_box;
    ui::UpDown interval_spinner;
    ui::Label interval_label;
    ui::Button start_button;
    ui::Label url_text_caption;
    ui::CheckBox keep_on_top_check;
    ui::Button clear_button;
    BrowserView* browser_view = nullptr;  // not owned: the control lives as long as its window
    ui::EditBox url_text_box;
    ui::CheckBox show_url_check;
    ui::CheckBox show_title_check;
    ui::CheckBox show_time_check;
    ui::Button load_button;
    ui::ListView url_list_view;

    // Components.
    ui::Timer visit_timer;
    ui::Timer capture_timer;
    ui::BalloonTip balloon_tip;
    ui::PopupMenu list_menu;
    ui::PopupMenu tray_menu;
    ui::TrayIcon tray_icon;

    // Window options.
    void layout_controls();
    void apply_column_visibility();
    void apply_keep_on_top();
    void apply_auto_open_enabled();
    // Returns whether the key goes on to the address box.
    bool select_all_on_ctrl_a(unsigned vk, unsigned modifiers);
    // Gives the focus to a child control, now and whenever the window gets it back.
    void give_focus_to(HWND child);

    OutsideEffects& effects() { return *effects_; }

    // Made before the features, which keep a reference to it; shared with the export threads.
    std::shared_ptr<OutsideEffects> effects_;

    // The features.
    EngineKeeper engine;
    AddressFile address_file;
    AddressList address_list;
    Lifecycle lifecycle;
    Visiting visiting;
    ListCommands list_commands;
    ListExport list_export;

    bool create_controls();
    void set_fonts();
    void create_menus();

    win::UniqueFont ui_font_;
    win::UniqueFont url_text_font_;
    win::UniqueIcon clear_icon_;
    HWND focus_child_ = nullptr;                           // the control that gets the focus when the window does
    HBRUSH background_ = GetSysColorBrush(COLOR_BTNFACE);  // a system brush: not owned
};

}  // namespace quarnel

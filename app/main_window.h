#pragma once

// The program's one window: every control, component and menu, the layout rule, the window
// options and the address list's commands.

#include "app/deploy.h"
#include "app/settings.h"
#include "browserview/browser_view.h"
#include "controls/balloon_tip.h"
#include "controls/controls.h"
#include "controls/drop_target.h"
#include "controls/list_view.h"
#include "controls/message_box.h"
#include "controls/popup_menu.h"
#include "controls/timer.h"
#include "controls/tray_icon.h"
#include "controls/window.h"
#include "winbase/handles.h"

#include <functional>
#include <string>

namespace quarnel {

inline constexpr wchar_t kAppTitle[] = L"Quarnel网址管理器";
inline constexpr wchar_t kNoticeTitle[] = L"Quarnel提醒您：";

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

// The tray icon's identifier and the private message its mouse notifications arrive as.
inline constexpr UINT kTrayIconId = 100;
inline constexpr UINT kTrayMessage = WM_APP + 100;

// What a mouse action on the tray icon asks for.
enum TrayOperation { kTrayLeftUp = 1, kTrayLeftDoubleClick = 2, kTrayMenu = 3 };

// Window timers.
enum TimerId : UINT_PTR { kVisitTimerId = 1, kCaptureTimerId = 2 };

// The design of the save dialog; the export fills in the rest.
struct SaveDialogDesign {
    const wchar_t* filter = L"EXCEL表格|*.xls";
};

// The built-in picture shown for a page until its own icon replaces it: BMP file bytes.
std::string_view default_page_icon();

class MainWindow : public ui::Window {
public:
    static constexpr int kDesignWidth = 1400;
    static constexpr int kDesignHeight = 942;

    // `app_dir`: the program's folder, where it keeps its files.
    explicit MainWindow(std::wstring app_dir);
    ~MainWindow() override;

    // Creates the window and its controls, centred on the screen at its design size, not yet
    // shown. Returns false when the window could not be made.
    bool create();

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
    SaveDialogDesign save_dialog;
    ui::BalloonTip balloon_tip;
    ZipUnpacker zip_unpacker;
    win::ComPtr<ui::FileDropTarget> text_drop_target;
    win::ComPtr<ui::FileDropTarget> list_drop_target;
    ui::PopupMenu list_menu;
    ui::PopupMenu tray_menu;
    ui::TrayIcon tray_icon;

    // The program's folder, without a trailing backslash; every file it uses is in it.
    const std::wstring app_dir;

    // Runs when the window is being destroyed (the program ends its message loop there).
    std::function<void()> on_destroyed_window;

    // The publisher's servers.
    Servers servers = configured_servers();

    // The address the browser view opens first, set by start_up.
    std::string start_url;

    // The 1-based number of the row whose page the browser view shows, 0 when none.
    int shown_row = 0;

    // Window options.
    void layout_controls();
    void apply_column_visibility();
    void apply_keep_on_top();
    void apply_auto_open_enabled();
    // Returns whether the key goes on to the address box.
    bool select_all_on_ctrl_a(unsigned vk, unsigned modifiers);

    // The address list.
    void read_urls();
    // Replaces the address text with the file's bytes. Returns false, changing nothing, when
    // `path` does not name one readable, non-empty file.
    bool load_dropped_file(const std::wstring& path);
    void clear_urls();
    void show_list_menu();

    // Registers the two drop targets on the address box and the list.
    void register_drop_targets();

    // Start-up and shutdown. start_up runs once, after create() and before the window shows.
    void start_up();
    std::wstring url_file() const { return app_dir + L"\\网址.txt"; }
    std::wstring runtime_dir() const { return app_dir + L"\\" + kRuntimeDirName; }
    void load_url_text();
    void install_tray_icon();
    // Writes url_file when the box's text differs from what the file last gave or received; a
    // file the user did not edit is never rewritten. save_url_text runs on every loss of focus.
    void save_url_text();
    // False when the text differs and could not be written.
    bool save_url_text_if_changed();
    // The last chance to keep an edited text before the program ends: when it cannot be written
    // the user chooses between going back to the window and ending anyway. Returns whether the
    // program may end.
    bool save_before_ending();
    void on_tray_notify(int operation);
    void exit_program();

protected:
    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    bool create_controls();
    void create_menus();
    void drop_on_text_box(const std::wstring& paths);
    void drop_on_list(const std::wstring& paths);

    win::UniqueFont ui_font_;
    win::UniqueFont url_text_font_;
    win::UniqueIcon clear_icon_;
    win::UniqueIcon app_icon_;
    std::string saved_url_text_;  // the text url_file gave or last received
    HWND focus_child_ = nullptr;  // the control that gets the focus when the window does
    HBRUSH background_ = GetSysColorBrush(COLOR_BTNFACE);  // a system brush: not owned
};

}  // namespace quarnel

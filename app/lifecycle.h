#pragma once

// Start-up and shutdown: unpacking the browser runtime, the start address, the browser engine
// and the first page, the tray icon and its clicks, and ending the program without losing an
// edited address text.

#include "app/address_file.h"
#include "app/address_list.h"
#include "app/engine_keeper.h"
#include "app/export.h"
#include "app/outside_effects.h"
#include "app/settings.h"
#include "controls/controls.h"
#include "controls/popup_menu.h"
#include "controls/tray_icon.h"
#include "winbase/handles.h"

#include <functional>
#include <string>

namespace quarnel {

// The tray icon's identifier and the private message its mouse notifications arrive as.
inline constexpr UINT kTrayIconId = 100;
inline constexpr UINT kTrayMessage = WM_APP + 100;

// What a mouse action on the tray icon asks for.
enum TrayOperation { kTrayLeftUp = 1, kTrayLeftDoubleClick = 2, kTrayMenu = 3 };

class Lifecycle {
public:
    // What start-up and shutdown work with; none is owned.
    struct Parts {
        ui::Window& window;
        const std::wstring& app_dir;
        const Servers& servers;
        AddressFile& address_file;
        AddressList& address_list;
        EngineKeeper& engine;
        ui::PictureBox& favicon_picture;
        ui::TrayIcon& tray_icon;
        ui::PopupMenu& tray_menu;
        ListExport& list_export;
        OutsideEffects& effects;
        // Gives the address box the focus, now and whenever the window gets it back.
        std::function<void()> focus_address_box;
    };
    explicit Lifecycle(Parts parts) : p_(std::move(parts)) {}

    // Runs once, after the window is made and before it shows.
    void start_up();
    void install_tray_icon();
    void on_tray_notify(int operation);
    // The last chance to keep an edited text before the program ends: when it cannot be written
    // the user chooses between going back to the window and ending anyway. Returns whether the
    // program may end.
    bool save_before_ending();
    void exit_program();

    // The address the browser view opens first, set by start_up.
    const std::string& start_url() const { return start_url_; }

private:
    Parts p_;
    std::string start_url_;
    win::UniqueIcon app_icon_;
};

}  // namespace quarnel

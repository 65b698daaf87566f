#pragma once

// Start-up and shutdown: unpacking the browser runtime, the start address, the browser engine
// and the first page, the tray icon and its clicks, and ending the program without losing an
// edited address text.

#include "winbase/handles.h"

#include <string>

namespace quarnel {

class MainWindow;

// What a mouse action on the tray icon asks for.
enum TrayOperation { kTrayLeftUp = 1, kTrayLeftDoubleClick = 2, kTrayMenu = 3 };

class Lifecycle {
public:
    explicit Lifecycle(MainWindow& window) : window_(window) {}

    // Runs once, after the window is made and before it shows.
    void start_up();
    void install_tray_icon();
    void on_tray_notify(int operation);
    // The last chance to keep an edited text before the program ends: when it cannot be written
    // the user chooses between going back to the window and ending anyway. Returns whether the
    // program may end.
    bool save_before_ending();
    void exit_program();

private:
    MainWindow& window_;
    win::UniqueIcon app_icon_;
};

}  // namespace quarnel

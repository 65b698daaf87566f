#pragma once

// What the program does to the world outside its own windows and files, in one object that the
// main window owns and tests replace: message boxes, pop-up menus, downloads, the clipboard,
// the shell's "open", balloons, the save dialog. Every feature reaches these through it, never
// directly.

#include "controls/balloon_tip.h"
#include "controls/popup_menu.h"

#include <windows.h>
#include <commdlg.h>

#include <cstddef>
#include <optional>
#include <string>

namespace quarnel {

// A save-file dialog: what it shows first and what it accepts.
struct SaveFileDialog {
    HWND owner = nullptr;
    std::wstring title;
    std::wstring initial_folder;
    std::wstring file_name;          // shown at first; a full path opens the dialog in its folder
    std::wstring filter;             // description and pattern pairs, "|" between every part
    std::wstring default_extension;  // without the dot
    DWORD options = 0;               // OFN_ flags
};

class OutsideEffects {
public:
    OutsideEffects() = default;
    OutsideEffects(const OutsideEffects&) = delete;
    OutsideEffects& operator=(const OutsideEffects&) = delete;
    virtual ~OutsideEffects() = default;

    // Shows a message box without an owner and returns the button chosen (IDYES, IDNO, IDOK...).
    virtual int message_box(const std::wstring& text, const std::wstring& title, UINT flags);
    // Shows a pop-up menu at a screen point and returns once it closes; the chosen item's
    // WM_COMMAND goes to `owner`.
    virtual void show_popup_menu(const ui::PopupMenu& menu, HWND owner, POINT screen_point);
    // The body of a web resource, at most `max_bytes` of it (see http_fetch). Any thread.
    virtual std::string fetch(const std::string& url, size_t max_bytes);
    // Replaces the clipboard's content with one 8-bit text in the ANSI code page; nothing
    // happens when the clipboard cannot be opened.
    virtual void set_clipboard_text(const std::string& text);
    // Asks the shell to open an address with its "open" verb (the default browser).
    virtual void shell_open(const std::string& address);
    // Asks the shell to open a document with its associated program.
    virtual void open_file(const std::wstring& path);
    // Shows a save-file dialog on the calling thread and returns when it closes: the full path
    // chosen, or nothing when the user cancelled.
    virtual std::optional<std::wstring> choose_save_file(const SaveFileDialog& dialog);
    // Pops up a balloon that closes by itself.
    virtual void show_balloon(ui::BalloonTip& balloon, POINT screen_point, const std::wstring& text);
};

}  // namespace quarnel

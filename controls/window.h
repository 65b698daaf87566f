#pragma once

// Base classes for windows and controls.
//
// A Window registers its class once and forwards every message to its handle_message member:
// its `this` travels in CREATESTRUCT at WM_NCCREATE. A Control wraps a child window made by
// someone else's class (an edit box, a list view, ...); its parent reflects WM_COMMAND and
// WM_NOTIFY back to it, so each control's handlers live with the control.

#include <windows.h>

namespace quarnel::ui {

class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND hwnd() const { return hwnd_; }
    // Moves and sizes the window in its parent's client coordinates; sizes below zero count as 0.
    void set_bounds(int left, int top, int width, int height);

protected:
    // Registers the class on first use (class name, cursor and background taken from `wc`;
    // the window procedure is set here) and creates the window.
    HWND create_window(WNDCLASSEXW wc,
                       DWORD ex_style,
                       const wchar_t* title,
                       DWORD style,
                       int x,
                       int y,
                       int width,
                       int height,
                       HWND parent,
                       HMENU menu_or_id);

    // Handles one message; the default reflects control notifications and calls DefWindowProc.
    virtual LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp);
    // Called when WM_NCDESTROY arrives; hwnd() is null afterwards.
    virtual void on_destroyed() {}

private:
    static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    HWND hwnd_ = nullptr;
};

// Where a control goes and how it starts.
struct Frame {
    HWND parent = nullptr;
    const wchar_t* text = L"";
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool visible = true;
    bool enabled = true;
};

class Control {
public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control();

    HWND hwnd() const { return hwnd_; }

    // Handles a notification reflected from the parent. `handled` is false on entry; a control
    // that answers sets it and returns the result.
    virtual LRESULT on_command(WORD /*code*/, bool& /*handled*/) { return 0; }
    virtual LRESULT on_notify(NMHDR* /*header*/, bool& /*handled*/) { return 0; }

    // Plain properties.
    void set_visible(bool visible);
    bool visible() const;
    void set_enabled(bool enabled);
    bool enabled() const;
    void set_bounds(int left, int top, int width, int height);
    void set_font(HFONT font);

protected:
    // Creates a window of a system class as a child of `parent` and binds it to this object.
    HWND create_child(const wchar_t* class_name,
                      const wchar_t* text,
                      DWORD style,
                      DWORD ex_style,
                      int x,
                      int y,
                      int width,
                      int height,
                      HWND parent,
                      int id = 0);
    // The same, placed and shown as `frame` says, with `style` added to WS_CHILD.
    HWND create_framed(const wchar_t* class_name, const Frame& frame, DWORD style, DWORD ex_style = 0);
    void attach(HWND hwnd);

private:
    HWND hwnd_ = nullptr;
};

// Moves and sizes a child window; sizes below zero count as zero.
void set_window_bounds(HWND hwnd, int left, int top, int width, int height);

// Looks up the Control bound to a child window; null for windows not made by a Control.
Control* control_from_hwnd(HWND hwnd);

// Sends WM_COMMAND and WM_NOTIFY from a child control back to its Control. Returns whether the
// control handled it, with its answer in `result`.
bool reflect_to_control(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

// The rectangle of the work area of the monitor nearest to `window` (or the primary one).
RECT work_area_for(HWND window);

// The left-top corner that centres an outer size in a rectangle.
POINT centred_in(const RECT& area, int width, int height);

}  // namespace quarnel::ui

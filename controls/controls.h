#pragma once

// Thin wrappers over the system's standard controls. Each is created with its own CreateArgs,
// whose fields all have defaults: the frame every control has, and the control's own settings.
// Each exposes handler fields that its owner fills in. The owner sets the fonts.

#include "controls/window.h"
#include "winbase/handles.h"

#include <functional>
#include <string>
#include <string_view>

namespace quarnel::ui {

// The modifier keys held down, as a bit set.
enum Modifiers : unsigned { kCtrl = 1, kShift = 2, kAlt = 4 };
unsigned current_modifiers();

// A button-class control, which reports a click.
class ClickableControl : public Control {
public:
    std::function<void()> on_click;

    LRESULT on_command(WORD code, bool& handled) override;
};

class Button : public ClickableControl {
public:
    struct CreateArgs {
        Frame frame{};
        HICON icon = nullptr;  // drawn left of the caption; not owned
    };
    HWND create(const CreateArgs& args);
    void set_caption(const std::wstring& caption);
    std::wstring caption() const;
};

class CheckBox : public ClickableControl {
public:
    struct CreateArgs {
        Frame frame{};
        bool checked = false;
    };
    HWND create(const CreateArgs& args);
    bool checked() const;
    void set_checked(bool checked);
};

// A static text. A transparent label shows the parent's background behind its text: the parent
// answers WM_CTLCOLORSTATIC for it with paint_transparent() and its own background brush.
class Label : public Control {
public:
    struct CreateArgs {
        Frame frame{};
        bool transparent = false;
    };
    HWND create(const CreateArgs& args);
    bool transparent() const { return transparent_; }
    void set_caption(const std::wstring& caption);
    std::wstring caption() const;
    // Called on a left mouse button press on the label.
    std::function<void()> on_left_button_down;

    static HBRUSH paint_transparent(HDC dc, HBRUSH parent_background);

private:
    static LRESULT CALLBACK subclass_proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    bool transparent_ = false;
};

// An edit box whose text is the program's 8-bit text, converted at the control's edge.
class EditBox : public Control {
public:
    struct CreateArgs {
        Frame frame{};
        bool multi_line = false;
        bool centred = false;  // a single line only
    };
    HWND create(const CreateArgs& args);

    std::string text() const;  // ANSI code page
    void set_text(std::string_view ansi);
    std::wstring wide_text() const;
    void select_all();

    // Whether the text may differ from the one the owner last marked as kept: the user edited it
    // (the control's modification flag) or it was replaced by WM_SETTEXT, from this program or
    // another. Cheap, so a large text need not be read back to learn that nothing happened.
    bool changed_since_mark() const;
    void mark_unchanged();

    std::function<void()> on_kill_focus;
    // Every key press (WM_KEYDOWN and WM_SYSKEYDOWN) with the modifier state; returning false
    // keeps the key from the edit box.
    std::function<bool(unsigned vk, unsigned modifiers)> on_key_down;

    LRESULT on_command(WORD code, bool& handled) override;

private:
    static LRESULT CALLBACK subclass_proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    bool swallow_char_ = false;
    bool text_replaced_ = false;
};

// An up-down spinner attached to the right of an edit box, changing the number in it.
class UpDown : public Control {
public:
    struct CreateArgs {
        HWND parent = nullptr;
        EditBox* buddy = nullptr;  // not owned
        int minimum = 0;
        int maximum = 100;
    };
    HWND create(const CreateArgs& args);
};

// A framed area that shows a picture over its background colour.
class PictureBox : public Window {
public:
    struct CreateArgs {
        Frame frame{};
    };
    HWND create(const CreateArgs& args);
    // Shows `bitmap` stretched over the box (the box takes it over); null shows the background.
    void set_bitmap(win::UniqueBitmap bitmap);
    // Shows the picture held in raw bytes, its kind told from the first bytes. Data that is no
    // picture, or one the box cannot decode, leaves only the background. Returns whether a
    // picture is shown.
    bool set_picture(std::string_view bytes);
    HBITMAP bitmap() const { return bitmap_.get(); }

protected:
    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    win::UniqueBitmap bitmap_;
};

}  // namespace quarnel::ui

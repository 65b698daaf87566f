#pragma once

// Thin wrappers over the system's standard controls. Each is created with a CreateArgs whose
// fields all have defaults, and exposes handler fields that its owner fills in.

#include "controls/window.h"
#include "winbase/handles.h"

#include <functional>
#include <string>
#include <string_view>

namespace quarnel::ui {

struct CreateArgs {
    HWND parent = nullptr;
    const wchar_t* text = L"";
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool visible = true;
    bool enabled = true;
    HFONT font = nullptr;
};

// The modifier keys held down, as a bit set.
enum Modifiers : unsigned { kCtrl = 1, kShift = 2, kAlt = 4 };
unsigned current_modifiers();

class Button : public Control {
public:
    // `icon`, when given, is drawn left of the caption; the button does not own it.
    HWND create(const CreateArgs& args, HICON icon = nullptr);
    std::function<void()> on_click;
    void set_caption(const std::wstring& caption);
    std::wstring caption() const;

    LRESULT on_command(WORD code, bool& handled) override;
};

class CheckBox : public Control {
public:
    HWND create(const CreateArgs& args, bool checked);
    std::function<void()> on_click;
    bool checked() const;
    void set_checked(bool checked);

    LRESULT on_command(WORD code, bool& handled) override;
};

// A static text. A transparent label shows the parent's background behind its text: the parent
// answers WM_CTLCOLORSTATIC for it with paint_transparent() and its own background brush.
class Label : public Control {
public:
    HWND create(const CreateArgs& args, bool transparent);
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

struct EditArgs : CreateArgs {
    bool multi_line = false;
    bool centred = false;
};

// An edit box whose text is the program's 8-bit text, converted at the control's edge.
class EditBox : public Control {
public:
    HWND create(const EditArgs& args);

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
    HWND create(HWND parent, EditBox& buddy, int minimum, int maximum);
};

// A framed area that shows a picture over its background colour.
class PictureBox : public Window {
public:
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

#include "controls/controls.h"

#include "core/picture.h"
#include "winbase/text.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <vector>

namespace quarnel::ui {

namespace {

DWORD base_style(const Frame& frame) {
    return WS_CHILD | (frame.visible ? WS_VISIBLE : 0) | (frame.enabled ? 0 : WS_DISABLED);
}

std::wstring window_text(HWND hwnd) {
    int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
    return text;
}

}  // namespace

unsigned current_modifiers() {
    unsigned m = 0;
    if (GetKeyState(VK_CONTROL) < 0)
        m |= kCtrl;
    if (GetKeyState(VK_SHIFT) < 0)
        m |= kShift;
    if (GetKeyState(VK_MENU) < 0)
        m |= kAlt;
    return m;
}

HWND Control::create_framed(const wchar_t* window_class, const Frame& frame, DWORD style, DWORD ex_style) {
    return create_child(window_class, frame.text, base_style(frame) | style, ex_style, frame.x, frame.y, frame.width,
                        frame.height, frame.parent);
}

LRESULT ClickableControl::on_command(WORD code, bool& handled) {
    if (code == BN_CLICKED && on_click) {
        on_click();
        handled = true;
    }
    return 0;
}

HWND Button::create(const CreateArgs& args) {
    HWND hwnd = create_framed(WC_BUTTONW, args.frame, WS_TABSTOP | BS_PUSHBUTTON);
    if (hwnd && args.icon)
        SendMessageW(hwnd, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(args.icon));
    return hwnd;
}

void Button::set_caption(const std::wstring& caption) {
    SetWindowTextW(hwnd(), caption.c_str());
}

std::wstring Button::caption() const {
    return window_text(hwnd());
}

HWND CheckBox::create(const CreateArgs& args) {
    HWND hwnd = create_framed(WC_BUTTONW, args.frame, WS_TABSTOP | BS_AUTOCHECKBOX);
    if (hwnd)
        set_checked(args.checked);
    return hwnd;
}

bool CheckBox::checked() const {
    return SendMessageW(hwnd(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CheckBox::set_checked(bool checked) {
    SendMessageW(hwnd(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

HWND Label::create(const CreateArgs& args) {
    transparent_ = args.transparent;
    // SS_NOTIFY lets the label receive mouse presses instead of passing them to the parent.
    HWND hwnd = create_framed(WC_STATICW, args.frame, SS_LEFT | SS_NOTIFY | SS_CENTERIMAGE);
    if (hwnd)
        SetWindowSubclass(hwnd, &Label::subclass_proc, 0, reinterpret_cast<DWORD_PTR>(this));
    return hwnd;
}

void Label::set_caption(const std::wstring& caption) {
    SetWindowTextW(hwnd(), caption.c_str());
}

std::wstring Label::caption() const {
    return window_text(hwnd());
}

HBRUSH Label::paint_transparent(HDC dc, HBRUSH parent_background) {
    // The parent's background is one solid colour, so painting it behind the text looks the same
    // as letting it show through, and also works when the parent clips its children.
    SetBkMode(dc, TRANSPARENT);
    return parent_background;
}

LRESULT CALLBACK Label::subclass_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<Label*>(data);
    if (msg == WM_LBUTTONDOWN && self->on_left_button_down)
        self->on_left_button_down();
    else if (msg == WM_NCDESTROY)
        RemoveWindowSubclass(hwnd, &Label::subclass_proc, 0);
    return DefSubclassProc(hwnd, msg, wp, lp);
}

HWND EditBox::create(const CreateArgs& args) {
    DWORD style = WS_TABSTOP;
    if (args.multi_line)
        style |= ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL | ES_LEFT;
    else
        style |= ES_AUTOHSCROLL | (args.centred ? ES_CENTER : ES_LEFT);
    HWND hwnd = create_framed(WC_EDITW, args.frame, style, WS_EX_CLIENTEDGE);
    if (!hwnd)
        return nullptr;
    // No length limit: the largest the control allows.
    SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);
    SetWindowSubclass(hwnd, &EditBox::subclass_proc, 0, reinterpret_cast<DWORD_PTR>(this));
    return hwnd;
}

std::wstring EditBox::wide_text() const {
    return window_text(hwnd());
}

std::string EditBox::text() const {
    return win::wide_to_ansi(wide_text());
}

void EditBox::set_text(std::string_view ansi) {
    SetWindowTextW(hwnd(), win::ansi_to_wide(ansi).c_str());
}

void EditBox::select_all() {
    SendMessageW(hwnd(), EM_SETSEL, 0, -1);
}

bool EditBox::changed_since_mark() const {
    return text_replaced_ || SendMessageW(hwnd(), EM_GETMODIFY, 0, 0) != 0;
}

void EditBox::mark_unchanged() {
    text_replaced_ = false;
    SendMessageW(hwnd(), EM_SETMODIFY, FALSE, 0);
}

LRESULT EditBox::on_command(WORD code, bool& handled) {
    if (code == EN_KILLFOCUS && on_kill_focus) {
        on_kill_focus();
        handled = true;
    }
    return 0;
}

LRESULT CALLBACK EditBox::subclass_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<EditBox*>(data);
    switch (msg) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            self->swallow_char_ = false;
            if (self->on_key_down && !self->on_key_down(static_cast<unsigned>(wp), current_modifiers())) {
                // The character message that TranslateMessage made from this key is dropped too,
                // so a swallowed Ctrl+A does not reach the box as a control character.
                self->swallow_char_ = true;
                return 0;
            }
            break;
        case WM_CHAR:
        case WM_SYSCHAR:
            if (self->swallow_char_) {
                self->swallow_char_ = false;
                return 0;
            }
            break;
        case WM_SETTEXT:
            // A multi-line edit box sends no change notification for a new text, and clears its
            // modification flag: remember that the text was replaced.
            self->text_replaced_ = true;
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, &EditBox::subclass_proc, 0);
            break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

HWND UpDown::create(const CreateArgs& args) {
    if (!args.buddy)
        return nullptr;
    EditBox& buddy = *args.buddy;
    int minimum = args.minimum;
    DWORD style = WS_CHILD | UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS;
    if (buddy.visible())
        style |= WS_VISIBLE;
    HWND hwnd = create_child(UPDOWN_CLASSW, L"", style, 0, 0, 0, 0, 0, args.parent);
    if (!hwnd)
        return nullptr;
    SendMessageW(hwnd, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy.hwnd()), 0);
    SendMessageW(hwnd, UDM_SETRANGE32, static_cast<WPARAM>(minimum), static_cast<LPARAM>(args.maximum));
    // The spinner starts from the number in the box, or from the low end if the box holds none.
    std::wstring text = buddy.wide_text();
    wchar_t* end = nullptr;
    long value = std::wcstol(text.c_str(), &end, 10);
    bool is_number = !text.empty() && end && *end == L'\0';
    SendMessageW(hwnd, UDM_SETPOS32, 0, is_number ? value : minimum);
    if (!buddy.enabled())
        EnableWindow(hwnd, FALSE);
    return hwnd;
}

HWND PictureBox::create(const CreateArgs& args) {
    WNDCLASSEXW wc{};
    wc.lpszClassName = L"QuarnelPictureBox";
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    const Frame& f = args.frame;
    return create_window(wc, 0, L"", base_style(f), f.x, f.y, f.width, f.height, f.parent, nullptr);
}

void PictureBox::set_bitmap(win::UniqueBitmap bitmap) {
    bitmap_ = std::move(bitmap);
    InvalidateRect(hwnd(), nullptr, TRUE);
}

namespace {

// A bitmap of the image's pixels made opaque over a background colour: translucent pixels are
// blended once, so painting is a plain stretch.
win::UniqueBitmap bitmap_over_background(const Image& image, COLORREF background) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win::UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap)
        return bitmap;
    uint32_t rgb = uint32_t{GetRValue(background)} << 16 | uint32_t{GetGValue(background)} << 8 | GetBValue(background);
    std::vector<uint32_t> pixels = blend_over_background(image, rgb);
    std::copy(pixels.begin(), pixels.end(), static_cast<uint32_t*>(bits));
    return bitmap;
}

}  // namespace

bool PictureBox::set_picture(std::string_view bytes) {
    std::optional<Image> image = decode_picture(bytes);
    win::UniqueBitmap bitmap;
    if (image) {
        // Scaled here, smoothly, to the box's size: painting then copies pixel for pixel.
        RECT client{};
        GetClientRect(hwnd(), &client);
        if (client.right > 0 && client.bottom > 0)
            image = scale_image(*image, client.right, client.bottom);
        bitmap = bitmap_over_background(*image, GetSysColor(COLOR_BTNFACE));
    }
    bool shown = static_cast<bool>(bitmap);
    set_bitmap(std::move(bitmap));
    return shown;
}

LRESULT PictureBox::handle_message(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        win::PaintDc dc(hwnd());
        if (bitmap_) {
            RECT client;
            GetClientRect(hwnd(), &client);
            BITMAP info{};
            GetObjectW(bitmap_.get(), sizeof(info), &info);
            win::UniqueMemoryDc source(CreateCompatibleDC(dc.get()));
            win::SelectedObject selected(source.get(), bitmap_.get());
            SetStretchBltMode(dc.get(), HALFTONE);
            StretchBlt(dc.get(), 0, 0, client.right, client.bottom, source.get(), 0, 0, info.bmWidth, info.bmHeight,
                       SRCCOPY);
        }
        return 0;
    }
    return Window::handle_message(msg, wp, lp);
}

}  // namespace quarnel::ui

#include "host/chromium/view_input.h"

#include "winbase/text.h"

#include <imm.h>
#include <windowsx.h>

#include <algorithm>
#include <utility>

namespace quarnel::host {

namespace {

// The page scrolls this many pixels for one notch of the wheel (120), as browsers on Windows do.
constexpr double kPixelsPerNotch = 100.0;
// What a page does within this long of the user's last press or key is the user's doing.
constexpr DWORD kUserActionMs = 3000;
// Key-state bits of the browser view's key event.
constexpr int kKeyStateShift = 2;
constexpr int kKeyStateControl = 4;
constexpr int kKeyStateAlt = 8;

}  // namespace

namespace {

// The protocol's modifier bits, and the browser view's key-state bits, of the keys held now.
int page_modifiers() {
    int bits = 0;
    if (GetKeyState(VK_MENU) < 0)
        bits |= devtools::kModifierAlt;
    if (GetKeyState(VK_CONTROL) < 0)
        bits |= devtools::kModifierControl;
    if (GetKeyState(VK_LWIN) < 0 || GetKeyState(VK_RWIN) < 0)
        bits |= devtools::kModifierMeta;
    if (GetKeyState(VK_SHIFT) < 0)
        bits |= devtools::kModifierShift;
    return bits;
}

int key_state_bits() {
    int modifiers = page_modifiers();
    return (modifiers & devtools::kModifierShift ? kKeyStateShift : 0) |
           (modifiers & devtools::kModifierControl ? kKeyStateControl : 0) |
           (modifiers & devtools::kModifierAlt ? kKeyStateAlt : 0);
}

struct MouseButton {
    const char* name;
    int bit;  // in the protocol's `buttons`
};

// The button a mouse message is about, and whether it is a press.
std::optional<std::pair<MouseButton, bool>> button_of(UINT msg, WPARAM wp) {
    switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return std::pair{MouseButton{"left", 1}, true};
        case WM_LBUTTONUP:
            return std::pair{MouseButton{"left", 1}, false};
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
            return std::pair{MouseButton{"right", 2}, true};
        case WM_RBUTTONUP:
            return std::pair{MouseButton{"right", 2}, false};
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
            return std::pair{MouseButton{"middle", 4}, true};
        case WM_MBUTTONUP:
            return std::pair{MouseButton{"middle", 4}, false};
        case WM_XBUTTONDOWN:
        case WM_XBUTTONDBLCLK:
        case WM_XBUTTONUP: {
            MouseButton button =
                GET_XBUTTON_WPARAM(wp) == XBUTTON1 ? MouseButton{"back", 8} : MouseButton{"forward", 16};
            return std::pair{button, msg != WM_XBUTTONUP};
        }
    }
    return std::nullopt;
}

// The name of a button still held, for moves while dragging.
const char* held_button(int buttons) {
    return buttons & 1 ? "left" : buttons & 2 ? "right" : buttons & 4 ? "middle" : "none";
}

}  // namespace

void ViewInput::on_mouse(UINT msg, WPARAM wp, LPARAM lp) {
    POINT at{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    if (msg == WM_MOUSEWHEEL || msg == WM_MOUSEHWHEEL) {
        ScreenToClient(view_, &at);  // the wheel's point is on the screen
        double pixels = GET_WHEEL_DELTA_WPARAM(wp) * kPixelsPerNotch / WHEEL_DELTA;
        // Turned away from the user the wheel scrolls up; tilted right it scrolls right.
        send_mouse("mouseWheel", at, "none", 0, msg == WM_MOUSEHWHEEL ? pixels : 0, msg == WM_MOUSEWHEEL ? -pixels : 0);
        return;
    }
    if (msg == WM_MOUSEMOVE) {
        pending_move_ = at;
        send_pending_move();
        return;
    }
    std::optional<std::pair<MouseButton, bool>> button = button_of(msg, wp);
    if (!button)
        return;
    auto [which, press] = *button;
    pending_move_.reset();  // the press or release carries the newer point
    if (press) {
        SetFocus(view_);
        if (!buttons_)
            SetCapture(view_);
        buttons_ |= which.bit;
        last_press_ = at;
        last_input_at_ = clock_();
        int count = clicks_.press(which.bit, at.x, at.y, static_cast<std::uint32_t>(GetMessageTime()));
        send_mouse("mousePressed", at, which.name, count);
    } else {
        buttons_ &= ~which.bit;
        send_mouse("mouseReleased", at, which.name, std::max(clicks_.count(), 1));
        if (!buttons_ && GetCapture() == view_)
            ReleaseCapture();
    }
}

void ViewInput::send_mouse(const char* type, POINT at, const char* button, int click_count, double dx, double dy) {
    if (!page_.has_page())
        return;
    Params params;
    params.text("type", type)
        .integer("x", at.x)
        .integer("y", at.y)
        .integer("modifiers", page_modifiers())
        .text("button", button)
        .integer("buttons", buttons_)
        .integer("clickCount", click_count);
    if (std::string_view(type) == "mouseWheel")
        params.number("deltaX", dx).number("deltaY", dy);
    page_.command("Input.dispatchMouseEvent", params);
}

// Moves go one at a time: while the browser has not taken one, only the newest waits, so a
// busy page never gets a backlog of old pointer positions.
void ViewInput::send_pending_move() {
    if (move_in_flight_ || !pending_move_ || !page_.has_page())
        return;
    POINT at = *std::exchange(pending_move_, std::nullopt);
    move_in_flight_ = true;
    page_.command("Input.dispatchMouseEvent",
                  Params()
                      .text("type", "mouseMoved")
                      .integer("x", at.x)
                      .integer("y", at.y)
                      .integer("modifiers", page_modifiers())
                      .text("button", held_button(buttons_))
                      .integer("buttons", buttons_),
                  [this, alive = std::weak_ptr<bool>(alive_)](const Message*) {
                      if (alive.expired())
                          return;
                      move_in_flight_ = false;
                      send_pending_move();
                  });
}

// A character typed, once it is whole: a character beyond the first 65,536 comes in two
// messages, one half each.
std::optional<std::wstring> ViewInput::whole_character(wchar_t c) {
    if (IS_HIGH_SURROGATE(c)) {
        high_surrogate_ = c;
        return std::nullopt;
    }
    wchar_t first = std::exchange(high_surrogate_, 0);
    return first && IS_LOW_SURROGATE(c) ? std::wstring{first, c} : std::wstring(1, c);
}

// Keys as the page gets them from a desktop browser: a key down, the characters the key types,
// a key up.
void ViewInput::on_key(UINT msg, WPARAM wp, LPARAM lp) {
    if (!page_.has_page())
        return;
    HWND view = view_;
    if (msg == WM_CHAR || msg == WM_SYSCHAR) {
        wchar_t c = static_cast<wchar_t>(wp);
        std::optional<std::wstring> text = whole_character(c);
        if (!text)
            return;
        std::string utf8 = win::wide_to_utf8(*text);
        page_.command("Input.dispatchKeyEvent", Params()
                                                    .text("type", "char")
                                                    .integer("modifiers", page_modifiers())
                                                    .text("text", utf8)
                                                    .text("unmodifiedText", utf8)
                                                    .text("key", utf8)
                                                    .integer("windowsVirtualKeyCode", c)
                                                    .flag("isSystemKey", msg == WM_SYSCHAR));
        events_.key_event(view, 3, key_state_bits(), c);
        return;
    }
    bool down = msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN;
    if (down)
        last_input_at_ = clock_();
    unsigned virtual_key = static_cast<unsigned>(wp);
    std::string code(devtools::dom_code((lp >> 16) & 0xFF, (lp >> 24) & 1));
    std::string key(devtools::dom_key(virtual_key));
    if (key.empty()) {
        // A key that types text: its key is that text, which the character message right after
        // it holds (it is already queued); failing that, the key's unshifted character.
        MSG next;
        if (down && PeekMessageW(&next, view, WM_CHAR, WM_SYSDEADCHAR, PM_NOREMOVE) &&
            (next.message == WM_CHAR || next.message == WM_SYSCHAR) &&
            !IS_HIGH_SURROGATE(static_cast<wchar_t>(next.wParam)))
            key = win::wide_to_utf8(std::wstring(1, static_cast<wchar_t>(next.wParam)));
        else if (UINT c = MapVirtualKeyW(virtual_key, MAPVK_VK_TO_CHAR) & 0x7FFF; c >= 0x20)
            key = win::wide_to_utf8(std::wstring(1, static_cast<wchar_t>(GetKeyState(VK_SHIFT) < 0 ? c : towlower(c))));
        else
            key = "Unidentified";
    }
    page_.command("Input.dispatchKeyEvent", Params()
                                                .text("type", down ? "rawKeyDown" : "keyUp")
                                                .integer("modifiers", page_modifiers())
                                                .integer("windowsVirtualKeyCode", virtual_key)
                                                .integer("nativeVirtualKeyCode", virtual_key)
                                                .text("code", code)
                                                .text("key", key)
                                                .flag("autoRepeat", down && ((lp >> 30) & 1))
                                                .flag("isKeypad", code.starts_with("Numpad"))
                                                .flag("isSystemKey", msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP));
    events_.key_event(view, down ? 0 : 2, key_state_bits(), static_cast<int>(virtual_key));
}

// Text from an input method: the text being composed is shown in the page, underlined, and the
// committed text goes in as typed text. True when the message was taken.
bool ViewInput::on_ime(UINT msg, WPARAM wp, LPARAM lp) {
    if (!page_.has_page())
        return false;
    HWND view = view_;
    switch (msg) {
        case WM_IME_STARTCOMPOSITION:
            // Its candidates go under the place the user last pressed (in the text box, as a rule).
            if (HIMC context = ImmGetContext(view)) {
                CANDIDATEFORM candidates{0, CFS_CANDIDATEPOS, {last_press_.x, last_press_.y + 20}, {}};
                ImmSetCandidateWindow(context, &candidates);
                COMPOSITIONFORM composition{CFS_POINT, last_press_, {}};
                ImmSetCompositionWindow(context, &composition);
                ImmReleaseContext(view, context);
            }
            return true;
        case WM_IME_COMPOSITION: {
            HIMC context = ImmGetContext(view);
            if (!context)
                return false;
            auto read = [context](DWORD kind) {
                LONG bytes = ImmGetCompositionStringW(context, kind, nullptr, 0);
                std::wstring text(bytes > 0 ? static_cast<size_t>(bytes) / sizeof(wchar_t) : 0, L'\0');
                if (!text.empty())
                    ImmGetCompositionStringW(context, kind, text.data(), static_cast<DWORD>(bytes));
                return text;
            };
            if (lp & GCS_RESULTSTR) {
                std::wstring result = read(GCS_RESULTSTR);
                if (!result.empty())
                    page_.command("Input.insertText", Params().text("text", win::wide_to_utf8(result)));
                composing_ = false;
            }
            if (lp & GCS_COMPSTR) {
                std::wstring text = read(GCS_COMPSTR);
                LONG cursor = lp & GCS_CURSORPOS ? ImmGetCompositionStringW(context, GCS_CURSORPOS, nullptr, 0)
                                                 : static_cast<LONG>(text.size());
                cursor = std::clamp<LONG>(cursor, 0, static_cast<LONG>(text.size()));
                if (!text.empty() || composing_)
                    page_.command("Input.imeSetComposition", Params()
                                                                 .text("text", win::wide_to_utf8(text))
                                                                 .integer("selectionStart", cursor)
                                                                 .integer("selectionEnd", cursor));
                composing_ = !text.empty();
            }
            ImmReleaseContext(view, context);
            return true;
        }
        case WM_IME_ENDCOMPOSITION:
            // Ended without committing (the user pressed Escape): the page drops what it showed.
            if (composing_)
                page_.command("Input.imeSetComposition",
                              Params().text("text", "").integer("selectionStart", 0).integer("selectionEnd", 0));
            composing_ = false;
            return false;
        case WM_IME_CHAR: {
            // An input method that hands its text over a character at a time.
            if (std::optional<std::wstring> text = whole_character(static_cast<wchar_t>(wp)))
                page_.command("Input.insertText", Params().text("text", win::wide_to_utf8(*text)));
            return true;
        }
    }
    return false;
}

void ViewInput::set_cursor(std::string_view css) {
    using devtools::CursorShape;
    const wchar_t* shape = IDC_ARROW;
    switch (devtools::cursor_shape(css)) {
        case CursorShape::kArrow:
            shape = IDC_ARROW;
            break;
        case CursorShape::kHand:
            shape = IDC_HAND;
            break;
        case CursorShape::kIBeam:
            shape = IDC_IBEAM;
            break;
        case CursorShape::kWait:
            shape = IDC_WAIT;
            break;
        case CursorShape::kProgress:
            shape = IDC_APPSTARTING;
            break;
        case CursorShape::kCross:
            shape = IDC_CROSS;
            break;
        case CursorShape::kMove:
            shape = IDC_SIZEALL;
            break;
        case CursorShape::kSizeWE:
            shape = IDC_SIZEWE;
            break;
        case CursorShape::kSizeNS:
            shape = IDC_SIZENS;
            break;
        case CursorShape::kSizeNESW:
            shape = IDC_SIZENESW;
            break;
        case CursorShape::kSizeNWSE:
            shape = IDC_SIZENWSE;
            break;
        case CursorShape::kNotAllowed:
            shape = IDC_NO;
            break;
        case CursorShape::kHelp:
            shape = IDC_HELP;
            break;
        case CursorShape::kNone:
            shape = nullptr;
            break;
    }
    cursor_ = shape ? LoadCursorW(nullptr, shape) : nullptr;
    POINT pointer{};
    GetCursorPos(&pointer);
    if (WindowFromPoint(pointer) == view_)
        SetCursor(cursor_);
}

bool ViewInput::user_acted_lately() const {
    return last_input_at_ != 0 && clock_() - last_input_at_ < kUserActionMs;
}

std::optional<LRESULT> ViewInput::handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
        case WM_MBUTTONUP:
        case WM_XBUTTONDOWN:
        case WM_XBUTTONDBLCLK:
        case WM_XBUTTONUP:
        case WM_MOUSEWHEEL:
        case WM_MOUSEHWHEEL:
            on_mouse(msg, wp, lp);
            return msg == WM_XBUTTONDOWN || msg == WM_XBUTTONUP || msg == WM_XBUTTONDBLCLK ? TRUE : 0;
        case WM_CAPTURECHANGED:
            buttons_ = 0;  // the presses ended elsewhere
            return std::nullopt;
        case WM_SETCURSOR:
            if (LOWORD(lp) == HTCLIENT) {
                SetCursor(cursor_);
                return TRUE;
            }
            return std::nullopt;
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_CHAR:
            on_key(msg, wp, lp);
            return 0;
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
        case WM_SYSCHAR:
            // Passed on, and to the window's own handling too (Alt+F4, the window menu).
            on_key(msg, wp, lp);
            return std::nullopt;
        case WM_IME_SETCONTEXT:
            // The page shows the text being composed; the input method shows only its candidates.
            return DefWindowProcW(view_, msg, wp, lp & ~static_cast<LPARAM>(ISC_SHOWUICOMPOSITIONWINDOW));
        case WM_IME_STARTCOMPOSITION:
        case WM_IME_COMPOSITION:
        case WM_IME_ENDCOMPOSITION:
        case WM_IME_CHAR:
            if (on_ime(msg, wp, lp))
                return 0;
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace quarnel::host

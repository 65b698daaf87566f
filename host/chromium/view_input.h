#pragma once

// The user's input to a browser-engine view, passed on to its page as a desktop browser would:
// mouse and wheel, keys with their DOM codes, input-method text, and the pointer shape the page
// asks for.

#include "core/tick_clock.h"
#include "devtools/page_input.h"
#include "host/chromium/page_channel.h"
#include "host/page_engine.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace quarnel::host {

class ViewInput {
public:
    // `clock` tells how long ago the user last pressed something.
    ViewInput(HWND view, PageChannel& page, EngineEvents& events, TickClock clock)
        : view_(view), page_(page), events_(events), clock_(std::move(clock)) {}

    // Handles one of the view's messages: the result when it was taken whole, nothing when the
    // window's default handling is to follow.
    std::optional<LRESULT> handle(UINT msg, WPARAM wp, LPARAM lp);
    // The pointer shape the page asks for, as a CSS cursor value.
    void set_cursor(std::string_view css);
    // Whether the user pressed a button or key in the view a moment ago: what the page does now
    // (open a dialog, a window) is the user's doing.
    bool user_acted_lately() const;
    // A new page in the view: nothing the old one had in flight is waited for.
    void page_replaced() { move_in_flight_ = false; }

private:
    void on_mouse(UINT msg, WPARAM wp, LPARAM lp);
    void send_mouse(const char* type, POINT at, const char* button, int click_count, double dx = 0, double dy = 0);
    void send_pending_move();
    void on_key(UINT msg, WPARAM wp, LPARAM lp);
    bool on_ime(UINT msg, WPARAM wp, LPARAM lp);
    std::optional<std::wstring> whole_character(wchar_t c);

    HWND view_;  // not owned
    PageChannel& page_;
    EngineEvents& events_;
    TickClock clock_;
    devtools::ClickCounter clicks_{
        {GetDoubleClickTime(), GetSystemMetrics(SM_CXDOUBLECLK), GetSystemMetrics(SM_CYDOUBLECLK)}};
    int buttons_ = 0;                    // the protocol's bits of the buttons held: 1 left, 2 right, 4 middle
    bool move_in_flight_ = false;        // a mouse move sent and not yet answered
    std::optional<POINT> pending_move_;  // the newest move to send once it is
    wchar_t high_surrogate_ = 0;         // the first half of a character typed in two messages
    bool composing_ = false;             // the page shows text being composed
    POINT last_press_{};                 // where the input method's windows go
    std::uint32_t last_input_at_ = 0;
    HCURSOR cursor_ = LoadCursorW(nullptr, IDC_ARROW);
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quarnel::host

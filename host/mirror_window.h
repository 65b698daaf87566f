#pragma once

// Wine draws no child window that belongs to another process: the parent's process owns the
// pixels of its window. There a child view gets a mirror, a pop-up that lies over the view,
// just above the view's top-level window, and shows the same drawing. The mirror is layered and
// transparent to input, so the pointer's presses, the wheel and the keyboard focus still reach
// the view under it, as on Windows. On Windows the child view draws itself and there is no
// mirror. Any engine's view can have one.

#include "controls/window.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace quarnel::host {

// Whether this runs under Wine, where child windows of other processes are not drawn.
bool child_windows_of_other_processes_are_hidden();

// Whether a view made as a child of `parent` needs a mirror to be seen: under Wine, when the
// parent's top-level window belongs to another process.
bool needs_mirror(HWND parent);

class MirrorWindow final : public ui::Window {
public:
    // `paint` draws the view's picture into the window it is given, inside its WM_PAINT;
    // `scroll_bar`: whether the mirror shows a vertical scroll bar as the view does.
    MirrorWindow(HWND view, std::function<void(HWND target)> paint, bool scroll_bar)
        : view_(view), paint_(std::move(paint)), scroll_bar_(scroll_bar) {}

    // Creates the mirror over `view_` and keeps it over the view (position, size, shown or
    // hidden, above the view's top-level window) from then on.
    bool create();

    void invalidate();

private:
    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override;
    void follow_view();
    bool above(HWND window) const;
    bool hidden_on_screen();

    HWND view_;  // not owned: the view this mirrors
    std::function<void(HWND)> paint_;
    bool scroll_bar_;
    RECT rect_{};
    bool shown_ = false;
    std::vector<uint32_t> drawn_before_;  // the rows the last check read from the mirror
    unsigned painted_ = 0;                // WM_PAINTs handled
    std::vector<uint32_t> drawing_;       // the whole drawing, as read when the rows were chosen
    std::vector<int> rows_;               // the rows compared with the screen, chosen at:
    unsigned rows_painted_ = 0;
    int rows_width_ = 0;
    int rows_height_ = 0;
};

}  // namespace quarnel::host

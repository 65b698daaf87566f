#pragma once

// The timed pass over the address list and the title capture: every N seconds the next row's
// address opens in the browser view; a second after the view reports a load (or a new status
// text), the shown page's title, the time and the site icon are written into its row and above
// the view.

#include <atomic>
#include <string>

namespace quarnel {

class MainWindow;

class Visiting {
public:
    explicit Visiting(MainWindow& window) : window_(window) {}

    // Window thread: the start button's click, the visit timer's tick, the capture timer's tick.
    void toggle_auto_visit();
    void visit_next_row();
    void capture_title();
    // Any thread: the browser view's load-finished and status-text events, and view-created.
    void arm_capture();
    void remember_view_id(int view_id) { child_view_id = view_id; }

    // How many rows the current pass has handled; back to 0 only when a pass reaches the end.
    int visit_cursor = 0;
    // The child view the browser view shows, from its view-created event.
    std::atomic<int> child_view_id{0};

private:
    MainWindow& window_;
};

}  // namespace quarnel

#pragma once

// The timed pass over the address list and the title capture: every N seconds the next row's
// address opens in the browser view; a second after the view reports a load (or a new status
// text), the shown page's title, the time and the site icon are written into its row and above
// the view. While the browser host is gone and being started again, the pass holds its next row
// and a capture writes nothing: no row is given a visit that did not happen. Nor is a row whose
// load the browser dropped (a file it refused to download) given the page still shown before it.

#include "app/outside_effects.h"
#include "app/page_engine.h"
#include "controls/controls.h"
#include "controls/list_view.h"
#include "controls/timer.h"
#include "core/page_text.h"

#include <functional>
#include <string>

namespace quarnel {

class Visiting {
public:
    // What the pass and the capture work with; none is owned.
    struct Parts {
        ui::Button& start_button;  // its caption is the pass's on/off flag
        ui::EditBox& interval_box;
        ui::Timer& visit_timer;    // ticks call visit_next_row
        ui::Timer& capture_timer;  // ticks call capture_title
        ui::ListView& list;
        ui::Label& title_label;
        ui::PictureBox& favicon_picture;
        PageEngine& engine;
        OutsideEffects& effects;
        std::function<LocalTime()> now;  // the local time a captured row is given
    };
    explicit Visiting(Parts parts) : p_(parts) {}

    // Window thread: the start button's click, the visit timer's tick, the capture timer's tick.
    void toggle_auto_visit();
    void visit_next_row();
    void capture_title();
    // Window thread: ends a running pass where it is, as the stop button does.
    void stop_pass();
    // Window thread: opens the 0-based row's address in the browser view; a row without an
    // address leaves no row shown.
    void show_row(int row);
    // The 1-based number of the row whose page the browser view shows, 0 when none; its address.
    int shown_row() const { return shown_row_; }
    std::string shown_url() const;
    // Window thread: the browser view's status-text event, and through load_finished its
    // load-finished event.
    void arm_capture();
    void load_finished(int status);

    // How many rows the current pass has handled; back to 0 only when a pass reaches the end.
    int visit_cursor = 0;

private:
    Parts p_;
    int shown_row_ = 0;
    // Whether the last load to end was dropped, leaving the page shown before in the view: a
    // capture then writes nothing until a later load ends.
    bool load_dropped_ = false;
    int icon_request_ = 0;  // counts the captures that set an icon; window thread
};

}  // namespace quarnel

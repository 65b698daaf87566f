#pragma once

// The list's commands: selecting, copying addresses or titles to the clipboard with a balloon
// notice, and opening an address in the browser view or the default browser.

#include "app/outside_effects.h"
#include "app/visiting.h"
#include "controls/balloon_tip.h"
#include "controls/list_view.h"

#include <string>

namespace quarnel {

class ListCommands {
public:
    // What the commands work with; none is owned.
    struct Parts {
        ui::ListView& list;
        ui::BalloonTip& balloon_tip;
        Visiting& visiting;
        OutsideEffects& effects;
        const std::string& home_page;
    };
    explicit ListCommands(Parts parts) : p_(parts) {}

    void select_all_rows();
    void invert_selection();
    void copy_titles();
    void copy_urls();
    void open_in_default_browser();
    void show_row_in_browser_view();
    void open_shown_row_in_default_browser();
    void open_home_page();

private:
    void copy_column(int column);

    Parts p_;
};

}  // namespace quarnel

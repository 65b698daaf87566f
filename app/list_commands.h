#pragma once

// The list's commands: selecting, copying addresses or titles to the clipboard with a balloon
// notice, and opening an address in the browser view or the default browser.

namespace quarnel {

class MainWindow;

class ListCommands {
public:
    explicit ListCommands(MainWindow& window) : window_(window) {}

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

    MainWindow& window_;
};

}  // namespace quarnel

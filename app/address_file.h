#pragma once

// The address file 网址.txt beside the program: read into the address box at start-up, and
// written back only when the box's text differs from what the file last gave or received, so
// a file the user did not edit is never rewritten, whatever bytes it holds.

#include "controls/controls.h"

#include <string>

namespace quarnel {

class AddressFile {
public:
    AddressFile(ui::EditBox& text_box, std::wstring path) : text_box_(text_box), path_(std::move(path)) {}

    const std::wstring& path() const { return path_; }

    void load_url_text();
    // Runs on every loss of focus of the box; silent: on failure the text stays in the box and
    // the next loss of focus, or the end of the program, tries again.
    void save_url_text();
    // False when the text differs and could not be written.
    bool save_url_text_if_changed();

private:
    ui::EditBox& text_box_;
    const std::wstring path_;
    std::string saved_text_;  // the text the file gave or last received
};

}  // namespace quarnel

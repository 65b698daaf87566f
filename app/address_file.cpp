#include "app/address_file.h"

#include "core/url_lines.h"
#include "winbase/files.h"

#include <optional>

namespace quarnel {

void AddressFile::load_url_text() {
    // A missing or unreadable file gives an empty box; the text ends at the first NUL byte.
    std::optional<std::string> bytes = win::read_file_bytes(path_);
    text_box_.set_text(bytes ? text_before_nul(*bytes) : std::string_view());
    // What the box makes of the file is the text to compare with: bytes it cannot hold (a NUL
    // and what follows, sequences that are not GBK) must not count as an edit, or the first
    // loss of focus would write the file back without them.
    saved_text_ = text_box_.text();
    text_box_.mark_unchanged();
}

void AddressFile::save_url_text() {
    save_url_text_if_changed();
}

bool AddressFile::save_url_text_if_changed() {
    if (!text_box_.hwnd() || !text_box_.changed_since_mark())
        return true;
    std::string text = text_box_.text();
    if (text != saved_text_) {
        if (!win::replace_file_contents(path_, text))
            return false;
        saved_text_ = std::move(text);
    }
    text_box_.mark_unchanged();
    return true;
}

}  // namespace quarnel

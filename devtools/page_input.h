#pragma once

// What a view that shows a browser's page needs to pass the user's input on and show the page's
// pictures: the DOM names of keys, click counting, the pointer shape a
// page asks for, and the slot that keeps only the newest picture the browser sent.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarnel::devtools {

// Modifier bits of the protocol's input events.
inline constexpr int kModifierAlt = 1;
inline constexpr int kModifierControl = 2;
inline constexpr int kModifierMeta = 4;
inline constexpr int kModifierShift = 8;

// The DOM `code` of a key by its keyboard scan code (set 1) and whether it came with the
// extended prefix (E0): "KeyA", "Enter", "NumpadEnter", "ArrowLeft". Empty for one not known.
std::string_view dom_code(unsigned scan_code, bool extended);

// The DOM `key` of a key that types no text, by its Windows virtual-key code: "Enter",
// "Backspace", "ArrowLeft", "F5", "Control". Empty for keys that type text (their key is that
// text) and for keys not known.
std::string_view dom_key(unsigned virtual_key);

// Counts the presses of a button that make one click, a double click, a triple click: a press
// counts on from the last when it is of the same button, within the double-click time and within
// the double-click rectangle of the last press; else it begins again at 1.
class ClickCounter {
public:
    struct Limits {
        unsigned interval_ms = 500;
        int width = 4;  // the whole rectangle, centred on the last press
        int height = 4;
    };
    explicit ClickCounter(Limits limits) : limits_(limits) {}
    ClickCounter() : ClickCounter(Limits{}) {}

    // The count of this press.
    // `time_ms` is the system's millisecond tick count, which wraps after 49 days.
    int press(int button, int x, int y, std::uint32_t time_ms);
    // The count of the presses so far (for the release that ends one).
    int count() const { return count_; }
    void reset() { count_ = 0; }

private:
    Limits limits_;
    int button_ = -1;
    int x_ = 0, y_ = 0;
    std::uint32_t time_ = 0;
    int count_ = 0;
};

// Pointer shapes a page asks for with CSS `cursor`, as a desktop has them.
enum class CursorShape {
    kArrow,
    kHand,
    kIBeam,
    kWait,
    kProgress,  // the arrow with a busy sign
    kCross,
    kMove,
    kSizeWE,
    kSizeNS,
    kSizeNESW,
    kSizeNWSE,
    kNotAllowed,
    kHelp,
    kNone,  // no pointer shown
};

// The shape for a resolved CSS cursor keyword ("pointer", "text", "ew-resize"…); the arrow for
// keywords with no desktop shape. A value may begin with url(...) images, which are passed over
// to the keyword after them.
CursorShape cursor_shape(std::string_view css_cursor);

// A script for every new document that calls `binding` with the CSS cursor under the pointer
// whenever it changes; "auto" is resolved as browsers do (a hand over links, the text beam over
// text and in text boxes, else the arrow).
std::string cursor_script(std::string_view binding);

// The newest picture the browser sent and not yet drawn: one that a newer one replaces before
// the window got to draw it is dropped, so pictures never queue up behind a slow window and only
// the newest is ever decoded.
class LatestFrame {
public:
    // Keeps `data` (Base64 of a JPEG, as the browser sent it) in place of the one waiting.
    void offer(std::string data);
    // The picture to draw now; nothing when none waits.
    std::optional<std::string> take();

    unsigned long offered() const { return offered_; }
    unsigned long dropped() const { return dropped_; }

private:
    std::optional<std::string> waiting_;
    unsigned long offered_ = 0;
    unsigned long dropped_ = 0;
};

}  // namespace quarnel::devtools

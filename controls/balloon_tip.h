#pragma once

// A balloon tooltip for a window. The notices themselves come with the commands that raise them.

#include <windows.h>

#include <string>

namespace quarnel::ui {

class BalloonTip {
public:
    BalloonTip() = default;
    BalloonTip(const BalloonTip&) = delete;
    BalloonTip& operator=(const BalloonTip&) = delete;
    ~BalloonTip();

    // Creates the tooltip window for notices about `owner`.
    bool create(HWND owner);
    HWND hwnd() const { return hwnd_; }
    HWND owner() const { return owner_; }

    // Shows `text` in a balloon pointing at a screen point; with `auto_close` it hides itself
    // after kDisplayMs. A second pop-up replaces the first.
    void pop_up(POINT screen_point, const std::wstring& text, bool auto_close);
    void hide();
    bool showing() const;
    static constexpr UINT kDisplayMs = 5000;

private:
    HWND hwnd_ = nullptr;
    HWND owner_ = nullptr;  // not owned
    std::wstring text_;     // the tool keeps a pointer to it
    bool tool_added_ = false;
    bool closing_ = false;  // its timer to hide it runs
};

}  // namespace quarnel::ui

#pragma once

// The program's one window.

#include "controls/window.h"

namespace quarnel {

// Texts of the window itself.
inline constexpr wchar_t kAppTitle[] = L"Quarnel网址管理器";

class MainWindow : public ui::Window {
public:
    static constexpr int kDesignWidth = 1400;
    static constexpr int kDesignHeight = 942;

    // Creates the window and its controls, centred on the screen at its design size, not yet
    // shown. Returns false when the window could not be made.
    bool create();

protected:
    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override;
};

}  // namespace quarnel

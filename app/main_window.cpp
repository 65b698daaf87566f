#include "app/main_window.h"

namespace quarnel {

bool MainWindow::create() {
    WNDCLASSEXW wc{};
    wc.lpszClassName = L"QuarnelMainWindow";
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    POINT at = ui::centred_in(ui::work_area_for(nullptr), kDesignWidth, kDesignHeight);
    return create_window(wc, 0, kAppTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, at.x, at.y, kDesignWidth,
                         kDesignHeight, nullptr, nullptr) != nullptr;
}

LRESULT MainWindow::handle_message(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return Window::handle_message(msg, wp, lp);
}

}  // namespace quarnel

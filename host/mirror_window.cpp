#include "host/mirror_window.h"

namespace quarnel::host {

namespace {

constexpr UINT_PTR kFollowTimer = 1;
constexpr UINT kFollowPeriodMs = 100;
// How many periods after the mirror appears it is restacked over its main window (2 s).
constexpr int kRestackTicks = 20;

}  // namespace

bool child_windows_of_other_processes_are_hidden() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool needs_mirror(HWND parent) {
    DWORD owner = 0;
    GetWindowThreadProcessId(GetAncestor(parent, GA_ROOT), &owner);
    return child_windows_of_other_processes_are_hidden() && owner != GetCurrentProcessId();
}

bool MirrorWindow::create() {
    WNDCLASSEXW wc{};
    wc.lpszClassName = L"QuarnelHostPageMirror";
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    if (!create_window(wc, WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TRANSPARENT, L"",
                       WS_POPUP | (scroll_bar_ ? WS_VSCROLL : 0), 0, 0, 0, 0, nullptr, nullptr))
        return false;
    // Opaque: layered only so that the window is passed over when the pointer's window is found.
    SetLayeredWindowAttributes(hwnd(), 0, 255, LWA_ALPHA);
    SetTimer(hwnd(), kFollowTimer, kFollowPeriodMs, nullptr);
    return true;
}

void MirrorWindow::invalidate() {
    if (hwnd())
        InvalidateRect(hwnd(), nullptr, FALSE);
}

// Keeps the mirror over the view, shown while the view is shown, and just above the view's
// top-level window while that is the active one. The mirror has no owner: Wine restacks an
// owned window with its owner only within the owner's process, so a click that raised the main
// window would bury it. Topmost windows (menus, balloons) stay above it.
void MirrorWindow::follow_view() {
    HWND root = GetAncestor(view_, GA_ROOT);
    bool root_topmost = GetWindowLongPtrW(root, GWL_EXSTYLE) & WS_EX_TOPMOST;
    bool topmost = GetWindowLongPtrW(hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST;
    if (shown_ && GetForegroundWindow() == root && (topmost != root_topmost || !above(root))) {
        // A main window kept on top takes its mirror along.
        SetWindowPos(hwnd(), root_topmost ? HWND_TOPMOST : topmost ? HWND_NOTOPMOST : HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        invalidate();
    }
    if (shown_ && restacks_left_ > 0 && GetForegroundWindow() == root) {
        // For a moment after it appears with its main window, the mirror may stand above the
        // window in Wine's own order and below it on the screen (the window was mapped or raised
        // last): put under the window and back on top, it is restacked on the screen too.
        --restacks_left_;
        SetWindowPos(hwnd(), root, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        SetWindowPos(hwnd(), root_topmost ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    RECT r{};
    GetWindowRect(view_, &r);
    bool shown = IsWindowVisible(view_) && !IsIconic(root);
    if (EqualRect(&r, &rect_) && shown == shown_)
        return;
    bool was_shown = shown_;
    rect_ = r;
    shown_ = shown;
    SetWindowPos(hwnd(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOACTIVATE | SWP_NOZORDER | (shown ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
    if (shown && !was_shown)
        restacks_left_ = kRestackTicks;
}

// Whether the mirror lies above `window` in the order of top-level windows.
bool MirrorWindow::above(HWND window) const {
    for (HWND below = GetWindow(hwnd(), GW_HWNDNEXT); below; below = GetWindow(below, GW_HWNDNEXT)) {
        if (below == window)
            return true;
    }
    return false;
}

LRESULT MirrorWindow::handle_message(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT:
            paint_(hwnd());
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_TIMER:
            if (wp == kFollowTimer) {
                follow_view();
                return 0;
            }
            break;
        case WM_DESTROY:
            KillTimer(hwnd(), kFollowTimer);
            break;
    }
    return Window::handle_message(msg, wp, lp);
}

}  // namespace quarnel::host

#include "host/mirror_window.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <vector>

namespace quarnel::host {

namespace {

constexpr UINT_PTR kFollowTimer = 1;
constexpr UINT kFollowPeriodMs = 100;

// How many rows of the mirror's client area are compared with the screen.
constexpr int kSampledRows = 15;

// The pixels of `rows` (of `width` pixels from x = 0, in `source`'s coordinates less `origin`)
// one row after another, as 0x00RRGGBB.
std::vector<uint32_t> read_rows(HDC source, POINT origin, int width, const std::vector<int>& rows) {
    std::vector<uint32_t> pixels;
    if (rows.empty() || width <= 0)
        return pixels;
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -static_cast<LONG>(rows.size()), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = memory ? CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        bool read = true;
        // Rows one after another are read in one go.
        if (rows.back() - rows.front() + 1 == static_cast<int>(rows.size()))
            read = BitBlt(memory, 0, 0, width, static_cast<int>(rows.size()), source, origin.x, origin.y + rows.front(),
                          SRCCOPY);
        else
            for (size_t i = 0; i < rows.size() && read; ++i)
                read = BitBlt(memory, 0, static_cast<int>(i), width, 1, source, origin.x, origin.y + rows[i], SRCCOPY);
        GdiFlush();
        if (read) {
            const auto* begin = static_cast<const uint32_t*>(bits);
            pixels.assign(begin, begin + static_cast<size_t>(width) * rows.size());
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    if (memory)
        DeleteDC(memory);
    return pixels;
}

bool same_colour(uint32_t a, uint32_t b) {
    // A screen of fewer bits per colour rounds the mirror's colours.
    for (int shift = 0; shift < 24; shift += 8) {
        int difference = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (difference > 8 || difference < -8)
            return false;
    }
    return true;
}

// The rows of a drawing of `width` x `height` pixels to compare with the screen: rows with
// something other than the page's background (its most common colour), spread over the drawing,
// then evenly spread rows up to kSampledRows. Where the main window covers the mirror, the
// screen shows the browser view's white: a white page with a few lines of text or a band of
// colour, compared on evenly spread rows only, would miss them and look the same as that white.
std::vector<int> rows_to_compare(const std::vector<uint32_t>& drawing, int width, int height) {
    std::map<uint32_t, int> counts;
    for (int y = 0; y < height; y += 16) {
        for (int x = 0; x < width; x += 16)
            ++counts[drawing[static_cast<size_t>(y) * width + x] & 0xFFFFFF];
    }
    uint32_t background =
        std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
    std::vector<int> marked;
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = drawing.data() + static_cast<size_t>(y) * width;
        if (std::any_of(row, row + width, [background](uint32_t pixel) { return !same_colour(pixel, background); }))
            marked.push_back(y);
    }
    std::vector<int> rows;
    int picked = std::min<int>(static_cast<int>(marked.size()), kSampledRows);
    for (int i = 0; i < picked; ++i)
        rows.push_back(marked[marked.size() * i / picked]);
    for (int row = 1; row <= kSampledRows && static_cast<int>(rows.size()) < kSampledRows; ++row) {
        int y = height * row / (kSampledRows + 1);
        if (std::find(rows.begin(), rows.end(), y) == rows.end())
            rows.push_back(y);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

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
//
// Wine's own order of windows is not always the screen's. Its X11 driver raises a window on the
// screen only when the window comes first in Wine's order, and it also raises a window it gives
// the keyboard focus to, without a change in Wine's order: every click that moves the focus
// within the main window (a button, the list, the address box), the window shown again and made
// active from the tray, and the window coming up after its mirror put the main window over the
// mirror on the screen while Wine's order still has the mirror on top. Such a raise comes from
// another process, whose messages this one cannot see, and reaches the X server whenever that
// process sends it. So the mirror checks the screen itself: when the screen does not show what
// the mirror drew, it is put under the window and back on top, which raises it on the screen too.
void MirrorWindow::follow_view() {
    HWND root = GetAncestor(view_, GA_ROOT);
    bool root_topmost = GetWindowLongPtrW(root, GWL_EXSTYLE) & WS_EX_TOPMOST;
    bool topmost = GetWindowLongPtrW(hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST;
    if (shown_ && GetForegroundWindow() == root && (topmost != root_topmost || !above(root))) {
        // A main window kept on top takes its mirror along.
        SetWindowPos(hwnd(),
                     root_topmost ? HWND_TOPMOST
                     : topmost    ? HWND_NOTOPMOST
                                  : HWND_TOP,
                     0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        invalidate();
    } else if (shown_ && above(root) && hidden_on_screen()) {
        // Whichever window is active: nothing above the mirror in Wine's order covers it when the
        // screen is found not to show it.
        SetWindowPos(hwnd(), root, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        SetWindowPos(hwnd(), root_topmost ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    RECT r{};
    GetWindowRect(view_, &r);
    bool shown = IsWindowVisible(view_) && !IsIconic(root);
    if (EqualRect(&r, &rect_) && shown == shown_)
        return;
    rect_ = r;
    shown_ = shown;
    drawn_before_.clear();
    SetWindowPos(hwnd(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOACTIVATE | SWP_NOZORDER | (shown ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

// Whether the screen shows something else than the mirror's drawing where the mirror lies, while
// no window above it in Wine's order covers it. Some rows across it are compared. The screen may
// still show the drawing of the last check (a picture drawn since may not be on the screen yet):
// a pixel that is neither the drawing of now nor of the last check is another window's.
bool MirrorWindow::hidden_on_screen() {
    RECT mirror{};
    GetWindowRect(hwnd(), &mirror);
    for (HWND over = GetWindow(hwnd(), GW_HWNDPREV); over; over = GetWindow(over, GW_HWNDPREV)) {
        RECT r{}, both{};
        if (IsWindowVisible(over) && GetWindowRect(over, &r) && IntersectRect(&both, &r, &mirror)) {
            drawn_before_.clear();
            return false;
        }
    }
    RECT client{};
    GetClientRect(hwnd(), &client);
    POINT origin{0, 0};
    ClientToScreen(hwnd(), &origin);
    int width = client.right;
    if (width <= 0 || client.bottom <= 0)
        return false;
    HDC own = GetDC(hwnd());
    // The rows are chosen again only when the mirror painted since, or changed its size.
    if (rows_painted_ != painted_ || rows_.empty() || client.bottom != rows_height_ || width != rows_width_) {
        std::vector<int> all(client.bottom);
        for (int y = 0; y < client.bottom; ++y)
            all[y] = y;
        std::vector<uint32_t> drawing = read_rows(own, POINT{0, 0}, width, all);
        rows_ = drawing.empty() ? std::vector<int>() : rows_to_compare(drawing, width, client.bottom);
        rows_painted_ = painted_;
        rows_width_ = width;
        rows_height_ = client.bottom;
        // The drawing of the last check, in the new rows, for a screen that still shows it.
        drawn_before_.clear();
        if (drawing_.size() == drawing.size()) {
            for (int y : rows_)
                drawn_before_.insert(drawn_before_.end(), drawing_.begin() + static_cast<ptrdiff_t>(y) * width,
                                     drawing_.begin() + static_cast<ptrdiff_t>(y + 1) * width);
        }
        drawing_ = std::move(drawing);
    }
    const std::vector<int>& rows = rows_;
    std::vector<uint32_t> drawn = read_rows(own, POINT{0, 0}, width, rows);
    ReleaseDC(hwnd(), own);
    HDC screen = GetDC(nullptr);
    std::vector<uint32_t> seen = read_rows(screen, origin, width, rows);
    ReleaseDC(nullptr, screen);
    if (drawn.empty() || seen.size() != drawn.size())
        return false;
    const std::vector<uint32_t>& before = drawn_before_.size() == drawn.size() ? drawn_before_ : drawn;
    size_t other = 0;
    for (size_t i = 0; i < seen.size(); ++i)
        other += !same_colour(seen[i], drawn[i]) && !same_colour(seen[i], before[i]);
    drawn_before_ = std::move(drawn);
    // A few pixels may be rounded otherwise; a page's few lines of text on white are enough.
    return other > 2 && other * 200 > seen.size();
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
            ++painted_;
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

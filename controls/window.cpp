#include "controls/window.h"

#include <mutex>
#include <unordered_map>

namespace quarnel::ui {

namespace {

// The control object of each attached window. Kept here rather than as a window property:
// WM_COMMAND and WM_NOTIFY look it up for every notification (a list view sends two per row whose
// selection changes), and under Wine each property read is a round trip to the server.
struct ControlRegistry {
    std::mutex mutex;
    std::unordered_map<HWND, Control*> controls;
};

ControlRegistry& registry() {
    static ControlRegistry r;
    return r;
}

}  // namespace

Window::~Window() {
    if (hwnd_) {
        // The window must not call back into a destroyed object.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

HWND Window::create_window(WNDCLASSEXW wc,
                           DWORD ex_style,
                           const wchar_t* title,
                           DWORD style,
                           int x,
                           int y,
                           int width,
                           int height,
                           HWND parent,
                           HMENU menu_or_id) {
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &Window::window_proc;
    if (!wc.hInstance)
        wc.hInstance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (!GetClassInfoExW(wc.hInstance, wc.lpszClassName, &existing) && !RegisterClassExW(&wc))
        return nullptr;
    return CreateWindowExW(ex_style, wc.lpszClassName, title, style, x, y, width, height, parent, menu_or_id,
                           wc.hInstance, this);
}

LRESULT Window::handle_message(UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT result = 0;
    if (reflect_to_control(msg, wp, lp, result))
        return result;
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK Window::window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self)
        return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        LRESULT result = self->handle_message(msg, wp, lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->on_destroyed();
        return result;
    }
    return self->handle_message(msg, wp, lp);
}

Control::~Control() {
    if (!hwnd_)
        return;
    std::lock_guard lock(registry().mutex);
    auto found = registry().controls.find(hwnd_);
    if (found != registry().controls.end() && found->second == this)
        registry().controls.erase(found);
}

HWND Control::create_child(const wchar_t* class_name,
                           const wchar_t* text,
                           DWORD style,
                           DWORD ex_style,
                           int x,
                           int y,
                           int width,
                           int height,
                           HWND parent,
                           int id) {
    HWND hwnd = CreateWindowExW(ex_style, class_name, text, style | WS_CHILD, x, y, width, height, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (hwnd)
        attach(hwnd);
    return hwnd;
}

void Control::attach(HWND hwnd) {
    std::lock_guard lock(registry().mutex);
    if (hwnd_)
        registry().controls.erase(hwnd_);
    hwnd_ = hwnd;
    registry().controls[hwnd] = this;
}

void Control::set_visible(bool visible) {
    ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

bool Control::visible() const {
    return (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Control::set_enabled(bool enabled) {
    EnableWindow(hwnd_, enabled);
}

bool Control::enabled() const {
    return IsWindowEnabled(hwnd_) != FALSE;
}

void set_window_bounds(HWND hwnd, int left, int top, int width, int height) {
    SetWindowPos(hwnd, nullptr, left, top, width < 0 ? 0 : width, height < 0 ? 0 : height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::set_bounds(int left, int top, int width, int height) {
    set_window_bounds(hwnd_, left, top, width, height);
}

void Control::set_bounds(int left, int top, int width, int height) {
    set_window_bounds(hwnd_, left, top, width, height);
}

void Control::set_font(HFONT font) {
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

Control* control_from_hwnd(HWND hwnd) {
    if (!hwnd)
        return nullptr;
    std::lock_guard lock(registry().mutex);
    auto found = registry().controls.find(hwnd);
    return found == registry().controls.end() ? nullptr : found->second;
}

bool reflect_to_control(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    bool handled = false;
    if (msg == WM_COMMAND && lp != 0) {
        if (Control* c = control_from_hwnd(reinterpret_cast<HWND>(lp)))
            result = c->on_command(HIWORD(wp), handled);
    } else if (msg == WM_NOTIFY && lp != 0) {
        auto* header = reinterpret_cast<NMHDR*>(lp);
        if (Control* c = control_from_hwnd(header->hwndFrom))
            result = c->on_notify(header, handled);
    }
    return handled;
}

RECT work_area_for(HWND window) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    HMONITOR monitor = window ? MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY)
                              : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    if (GetMonitorInfoW(monitor, &info))
        return info.rcWork;
    RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return r;
}

POINT centred_in(const RECT& area, int width, int height) {
    return POINT{area.left + (area.right - area.left - width) / 2, area.top + (area.bottom - area.top - height) / 2};
}

}  // namespace quarnel::ui

#pragma once

// A window timer with one setting, its interval in milliseconds. Setting the interval it already
// has does nothing, 0 or less stops it, any other value (re)starts it. Ticks arrive as WM_TIMER on
// the owner window, which passes them on with Timer::dispatch.

#include <windows.h>

#include <functional>

namespace quarnel::ui {

class Timer {
public:
    Timer(HWND owner, UINT_PTR id) : owner_(owner), id_(id) {}
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer() { set_interval(0); }

    void set_owner(HWND owner) { owner_ = owner; }
    void set_interval(int milliseconds);
    int interval() const { return interval_; }
    UINT_PTR id() const { return id_; }

    // Runs on_tick when `timer_id` is this timer's. Returns whether it was.
    bool dispatch(UINT_PTR timer_id);

    std::function<void()> on_tick;

private:
    HWND owner_;
    UINT_PTR id_;
    int interval_ = 0;
};

}  // namespace quarnel::ui

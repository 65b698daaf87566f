#pragma once

// A window timer with one setting, its interval in milliseconds, under the rules of
// IntervalRule. Ticks arrive as WM_TIMER on the owner window, which passes them on with
// Timer::dispatch, so on_tick always runs on the owner's thread.

#include "controls/window.h"
#include "core/interval_rule.h"

#include <windows.h>

#include <functional>

namespace quarnel::ui {

class Timer {
public:
    explicit Timer(UINT_PTR id) : id_(id) {}
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer();

    void set_owner(Window* owner) { owner_ = owner; }
    // On the owner's thread.
    void set_interval(int milliseconds);
    int interval() const { return rule_.interval(); }
    UINT_PTR id() const { return id_; }

    // Runs on_tick when `timer_id` is this timer's and it is running. Returns whether it was
    // this timer's.
    bool dispatch(UINT_PTR timer_id);

    std::function<void()> on_tick;

private:
    Window* owner_ = nullptr;
    UINT_PTR id_;
    IntervalRule rule_;
};

}  // namespace quarnel::ui

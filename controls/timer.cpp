#include "controls/timer.h"

namespace quarnel::ui {

Timer::~Timer() {
    if (owner_ && owner_->hwnd() && rule_.running())
        KillTimer(owner_->hwnd(), id_);
}

void Timer::set_interval(int milliseconds) {
    IntervalRule::Change change = rule_.set(milliseconds);
    HWND window = owner_ ? owner_->hwnd() : nullptr;
    if (!window)
        return;
    // SetTimer with the same id replaces the period and counts it anew from now.
    if (change == IntervalRule::Change::kRestart)
        SetTimer(window, id_, static_cast<UINT>(rule_.interval()), nullptr);
    else if (change == IntervalRule::Change::kStop)
        KillTimer(window, id_);
}

bool Timer::dispatch(UINT_PTR timer_id) {
    if (timer_id != id_)
        return false;
    if (rule_.running() && on_tick)
        on_tick();
    return true;
}

}  // namespace quarnel::ui

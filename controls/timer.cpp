#include "controls/timer.h"

namespace quarnel::ui {

void Timer::set_interval(int milliseconds) {
    if (milliseconds < 0)
        milliseconds = 0;
    if (milliseconds == interval_)
        return;
    interval_ = milliseconds;
    if (!owner_)
        return;
    if (milliseconds == 0)
        KillTimer(owner_, id_);
    else
        SetTimer(owner_, id_, static_cast<UINT>(milliseconds), nullptr);
}

bool Timer::dispatch(UINT_PTR timer_id) {
    if (timer_id != id_)
        return false;
    if (interval_ > 0 && on_tick)
        on_tick();
    return true;
}

}  // namespace quarnel::ui

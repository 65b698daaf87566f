#pragma once

// The interval rules of the program's timers, apart from any clock: the interval is a number of
// milliseconds; a negative one is stored as 0; setting the interval the timer already has does
// nothing; 0 stops the timer; any other value (re)starts it, the first tick one full interval
// after the setting.

namespace quarnel {

class IntervalRule {
public:
    // What the clock underneath must do after a setting.
    enum class Change { kNone, kStop, kRestart };

    Change set(int milliseconds) {
        if (milliseconds < 0)
            milliseconds = 0;
        if (milliseconds == interval_)
            return Change::kNone;
        interval_ = milliseconds;
        return interval_ == 0 ? Change::kStop : Change::kRestart;
    }

    int interval() const { return interval_; }
    // Whether ticks are due: a tick already queued when the timer stopped is dropped.
    bool running() const { return interval_ > 0; }

private:
    int interval_ = 0;
};

}  // namespace quarnel

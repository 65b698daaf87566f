#pragma once

// How often something that keeps ending may be started again: at most `limit` restarts within
// any span of `span_ms` milliseconds. Times come from a wrapping 32-bit millisecond clock (such as
// GetTickCount), passed in by the caller.

#include <cstddef>
#include <cstdint>
#include <deque>

namespace quarnel {

class RestartBudget {
public:
    RestartBudget(std::size_t limit, std::uint32_t span_ms) : limit_(limit), span_ms_(span_ms) {}

    // Counts a restart made at `now_ms` and returns true, or returns false without counting when
    // `limit` restarts were made within the span before it.
    bool take(std::uint32_t now_ms) {
        while (!taken_.empty() && now_ms - taken_.front() >= span_ms_)
            taken_.pop_front();
        if (taken_.size() >= limit_)
            return false;
        taken_.push_back(now_ms);
        return true;
    }

    // The restarts counted within the span that ended at the last take.
    std::size_t recent() const { return taken_.size(); }

private:
    std::size_t limit_;
    std::uint32_t span_ms_;
    std::deque<std::uint32_t> taken_;
};

}  // namespace quarnel

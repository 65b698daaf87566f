#pragma once

// The clock that rules about time read: milliseconds on a wrapping 32-bit clock, as GetTickCount
// counts them. Whatever waits or times out takes one from its owner, so that a test can move time
// on instead of waiting for it; the program's own is GetTickCount.

#include <cstdint>
#include <functional>

namespace quarnel {

using TickClock = std::function<std::uint32_t()>;

}  // namespace quarnel

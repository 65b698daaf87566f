#pragma once

// Work that may block for seconds (a download from a server that does not answer), done off a
// window thread while that thread goes on dispatching its messages: its windows keep painting,
// answering and ticking meanwhile.

#include <functional>
#include <string>

namespace quarnel::win {

// Runs `work` on a thread of its own and returns its result once it ends. Meanwhile the calling
// thread dispatches its messages, so handlers may run, and call this again, before it returns.
// A quit request met during the wait is left for the program's own message loop, and the wait
// then goes on without dispatching: the work must end by itself (a download's time-out).
std::string run_dispatching(std::function<std::string()> work);

}  // namespace quarnel::win

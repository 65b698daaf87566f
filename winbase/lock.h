#pragma once

// The program's one lock type: a critical section owned by one object, used through
// std::lock_guard, or std::unique_lock with std::condition_variable_any.

#include <windows.h>

namespace quarnel::win {

class Lock {
public:
    Lock() { InitializeCriticalSection(&cs_); }
    ~Lock() { DeleteCriticalSection(&cs_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void lock() { EnterCriticalSection(&cs_); }
    void unlock() { LeaveCriticalSection(&cs_); }
    bool try_lock() { return TryEnterCriticalSection(&cs_) != FALSE; }

private:
    CRITICAL_SECTION cs_;
};

}  // namespace quarnel::win

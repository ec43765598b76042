// Holds a critical section for one scope, so every early return leaves it.
#pragma once

#include <windows.h>

class LockScope {
public:
    explicit LockScope(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
    ~LockScope() { LeaveCriticalSection(&lock_); }

private:
    LockScope(const LockScope&) = delete;
    LockScope& operator=(const LockScope&) = delete;

    CRITICAL_SECTION& lock_;
};

#include "marrowby/engine/rate_limit.h"

namespace {

volatile LONG g_connectionLimit = kDefaultConnectionLimit;
volatile LONG g_connectionsInUse = 0;

}  // namespace

RateLimit::RateLimit()
{
    InitializeCriticalSection(&lock_);
    InitTokenBucket(bucket_, 0);
}

RateLimit::~RateLimit()
{
    DeleteCriticalSection(&lock_);
}

void RateLimit::SetRate(int64_t bytesPerSecond)
{
    EnterCriticalSection(&lock_);
    SetTokenRate(bucket_, bytesPerSecond, GetTickCount());
    LeaveCriticalSection(&lock_);
}

int64_t RateLimit::Rate()
{
    EnterCriticalSection(&lock_);
    int64_t rate = bucket_.rate;
    LeaveCriticalSection(&lock_);
    return rate;
}

void RateLimit::Take(int64_t count)
{
    EnterCriticalSection(&lock_);
    TakeTokens(bucket_, count, GetTickCount());
    LeaveCriticalSection(&lock_);
}

uint32_t RateLimit::WaitMs()
{
    EnterCriticalSection(&lock_);
    uint32_t wait = TokenWaitMs(bucket_, GetTickCount());
    LeaveCriticalSection(&lock_);
    return wait;
}

RateLimit& GlobalRateLimit()
{
    static RateLimit limit;
    return limit;
}

void SetConnectionLimit(int32_t limit)
{
    InterlockedExchange(&g_connectionLimit, limit < 1 ? 1 : limit);
}

void TakeConnection()
{
    InterlockedIncrement(&g_connectionsInUse);
}

bool TryTakeConnection()
{
    for (;;) {
        LONG used = g_connectionsInUse;
        if (used >= g_connectionLimit) return false;
        if (InterlockedCompareExchange(&g_connectionsInUse, used + 1, used) == used) return true;
    }
}

void GiveConnectionBack()
{
    InterlockedDecrement(&g_connectionsInUse);
}

int32_t ConnectionsInUse()
{
    return g_connectionsInUse;
}

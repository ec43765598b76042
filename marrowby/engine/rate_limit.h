// Limits shared by every job of the process: speed limits (a token bucket
// behind a lock, on the system's millisecond clock) and the number of
// connections all downloads together may hold.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "marrowby/engine/token_bucket.h"

class RateLimit {
public:
    RateLimit();
    ~RateLimit();

    // Bytes per second; 0 removes the limit. Takes effect at the next receive.
    void SetRate(int64_t bytesPerSecond);
    int64_t Rate();
    // Counts bytes that arrived.
    void Take(int64_t count);
    // Milliseconds until the next receive may go out.
    uint32_t WaitMs();

private:
    RateLimit(const RateLimit&) = delete;
    RateLimit& operator=(const RateLimit&) = delete;

    CRITICAL_SECTION lock_;
    TokenBucket bucket_;
};

// The limit of all downloads together.
RateLimit& GlobalRateLimit();

// Connections every download together may hold; a download's first
// connection always counts, further ones only start below the limit.
const int32_t kDefaultConnectionLimit = 16;
void SetConnectionLimit(int32_t limit);
void TakeConnection();
bool TryTakeConnection();
void GiveConnectionBack();
int32_t ConnectionsInUse();

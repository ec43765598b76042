// A token bucket for a speed limit shared by several connections. Bytes are
// taken after they arrived, so the bucket may fall into debt; a connection
// in debt waits before its next receive. The clock is the caller's
// (milliseconds), so the arithmetic runs against a scripted one as well.
#pragma once

#include <cstdint>

struct TokenBucket {
    int64_t rate;         // bytes per second; 0: no limit
    int64_t milliTokens;  // thousandths of a byte; below 0 a debt
    uint32_t lastMs;      // clock reading of the last refill
    bool started;
};

// A burst is an eighth of a second's bytes, at least this many.
constexpr int64_t kBucketMinBurst = 16 * 1024;
// Refills after a longer pause count only this long.
constexpr uint32_t kBucketMaxIdleMs = 1000;
constexpr int64_t kReceiveMinBytes = 512;

void InitTokenBucket(TokenBucket& bucket, int64_t bytesPerSecond);
// A new rate applies from now; the debt or credit so far is kept within the
// new burst.
void SetTokenRate(TokenBucket& bucket, int64_t bytesPerSecond, uint32_t nowMs);
// Takes count bytes that have arrived.
void TakeTokens(TokenBucket& bucket, int64_t count, uint32_t nowMs);
// Milliseconds until the debt is paid at the present rate (0: go on).
uint32_t TokenWaitMs(TokenBucket& bucket, uint32_t nowMs);
// Bytes the bucket would allow at once now (large when there is no limit).
int64_t TokensAvailable(TokenBucket& bucket, uint32_t nowMs);
// How many bytes one receive should take under the rate (at most
// largest): small enough that a connection's waits stay short, so a stop
// or a new rate is never held up behind one large piece.
int64_t ReceiveSizeFor(int64_t bytesPerSecond, int64_t largest);

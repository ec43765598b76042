// Token bucket arithmetic in thousandths of a byte, so slow rates and
// short intervals lose nothing to rounding.
#include "marrowby/engine/token_bucket.h"

namespace {

int64_t BurstMilli(const TokenBucket& bucket)
{
    int64_t burst = bucket.rate / 8;
    if (burst < kBucketMinBurst) burst = kBucketMinBurst;
    return burst * 1000;
}

void Refill(TokenBucket& bucket, uint32_t nowMs)
{
    if (!bucket.started) {
        bucket.started = true;
        bucket.lastMs = nowMs;
        return;
    }
    uint32_t elapsed = nowMs - bucket.lastMs;
    bucket.lastMs = nowMs;
    if (elapsed > kBucketMaxIdleMs) elapsed = kBucketMaxIdleMs;
    bucket.milliTokens += bucket.rate * static_cast<int64_t>(elapsed);
    if (bucket.milliTokens > BurstMilli(bucket)) bucket.milliTokens = BurstMilli(bucket);
}

}  // namespace

void InitTokenBucket(TokenBucket& bucket, int64_t bytesPerSecond)
{
    bucket.rate = bytesPerSecond > 0 ? bytesPerSecond : 0;
    bucket.milliTokens = 0;
    bucket.lastMs = 0;
    bucket.started = false;
}

void SetTokenRate(TokenBucket& bucket, int64_t bytesPerSecond, uint32_t nowMs)
{
    Refill(bucket, nowMs);
    bucket.rate = bytesPerSecond > 0 ? bytesPerSecond : 0;
    int64_t burst = BurstMilli(bucket);
    if (bucket.milliTokens > burst) bucket.milliTokens = burst;
    if (bucket.milliTokens < -burst) bucket.milliTokens = -burst;
}

void TakeTokens(TokenBucket& bucket, int64_t count, uint32_t nowMs)
{
    Refill(bucket, nowMs);
    if (bucket.rate == 0) {
        bucket.milliTokens = 0;
        return;
    }
    bucket.milliTokens -= count * 1000;
}

uint32_t TokenWaitMs(TokenBucket& bucket, uint32_t nowMs)
{
    Refill(bucket, nowMs);
    if (bucket.rate == 0 || bucket.milliTokens >= 0) return 0;
    int64_t debt = -bucket.milliTokens;
    int64_t wait = (debt + bucket.rate - 1) / bucket.rate;
    return wait > 0xFFFFFFFLL ? 0xFFFFFFFu : static_cast<uint32_t>(wait);
}

int64_t TokensAvailable(TokenBucket& bucket, uint32_t nowMs)
{
    Refill(bucket, nowMs);
    if (bucket.rate == 0) return INT64_MAX;
    return bucket.milliTokens > 0 ? bucket.milliTokens / 1000 : 0;
}

int64_t ReceiveSizeFor(int64_t bytesPerSecond, int64_t largest)
{
    if (bytesPerSecond <= 0) return largest;
    int64_t size = bytesPerSecond / 16;
    if (size < kReceiveMinBytes) size = kReceiveMinBytes;
    return size < largest ? size : largest;
}

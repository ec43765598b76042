#include "marrowby/engine/token_bucket.h"

#include <gtest/gtest.h>

namespace {

// Connections that receive pieces as fast as the bucket lets them, on a
// scripted clock that only moves when one of them waits.
struct BucketRun {
    TokenBucket bucket;
    uint32_t now = 5000;
    int64_t received = 0;
};

void Receive(BucketRun& run, int connections, int64_t piece, uint32_t untilMs)
{
    while (run.now < untilMs) {
        for (int c = 0; c < connections; ++c) {
            uint32_t wait = TokenWaitMs(run.bucket, run.now);
            if (wait > 0) {
                run.now += wait;
                break;
            }
            TakeTokens(run.bucket, piece, run.now);
            run.received += piece;
        }
    }
}

TEST(TokenBucket, HoldsTheRateOverTenSecondsForAnyNumberOfConnections)
{
    EXPECT_EQ(64000, ReceiveSizeFor(0, 64000));
    EXPECT_EQ(64000, ReceiveSizeFor(20000000, 64000));
    EXPECT_EQ(125000 / 16, ReceiveSizeFor(125000, 64000));
    EXPECT_EQ(kReceiveMinBytes, ReceiveSizeFor(1, 64000));
    const int64_t rates[] = {2000000, 20000000, 1000};
    for (int64_t rate : rates) {
        for (int connections : {1, 4, 16}) {
            BucketRun run;
            InitTokenBucket(run.bucket, rate);
            Receive(run, connections, ReceiveSizeFor(rate, 64000), run.now + 10000);
            double measured = static_cast<double>(run.received) / 10.0;
            EXPECT_NEAR(1.0, measured / static_cast<double>(rate), 0.05) << rate << " " << connections;
        }
    }
}

TEST(TokenBucket, ANewRateActsAtOnceAndNoLimitNeverWaits)
{
    BucketRun run;
    InitTokenBucket(run.bucket, 1000000);
    Receive(run, 2, 16000, run.now + 2000);
    int64_t before = run.received;
    EXPECT_NEAR(2000000.0, static_cast<double>(before), 100000.0);

    // A quarter of the rate: within a second the measured rate follows.
    SetTokenRate(run.bucket, 250000, run.now);
    uint32_t changed = run.now;
    Receive(run, 2, 16000, changed + 1000);
    EXPECT_LT(run.received - before, 300000);
    EXPECT_GT(run.received - before, 200000);

    // Off: the debt is forgotten and nothing waits.
    TakeTokens(run.bucket, 10000000, run.now);
    SetTokenRate(run.bucket, 0, run.now);
    EXPECT_EQ(0u, TokenWaitMs(run.bucket, run.now));
    TakeTokens(run.bucket, 10000000, run.now);
    EXPECT_EQ(0u, TokenWaitMs(run.bucket, run.now));
    EXPECT_GT(TokensAvailable(run.bucket, run.now), 1LL << 40);

    // An idle bucket saves only a small burst, not the whole pause.
    SetTokenRate(run.bucket, 100000, run.now);
    run.now += 60000;
    EXPECT_LE(TokensAvailable(run.bucket, run.now), kBucketMinBurst);
    TakeTokens(run.bucket, 100000 + kBucketMinBurst, run.now);
    EXPECT_EQ(1000u, TokenWaitMs(run.bucket, run.now));
    // The clock wraps around without a jump in the tokens.
    TokenBucket wrap;
    InitTokenBucket(wrap, 1000);
    TakeTokens(wrap, 500, 0xFFFFFF00u);
    EXPECT_EQ(500u, TokenWaitMs(wrap, 0xFFFFFF00u));
    EXPECT_EQ(0u, TokenWaitMs(wrap, 0xFFFFFF00u + 500u));
}

}  // namespace

// The speed of a running download as a moving average over the last few
// seconds, the time left from it, and the texts of the progress, speed and
// time-left columns. Times are tick counts in milliseconds (they may wrap).
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr int kRateSamples = 12;
constexpr uint32_t kRateSpacingMs = 500;  // samples closer than this are skipped
constexpr uint32_t kRateWindowMs = 5000;  // the span the average covers

struct RateMeter {
    uint32_t ticks[kRateSamples];
    int64_t bytes[kRateSamples];
    int32_t count;  // samples held
    int32_t next;   // slot of the next sample
};

// Starts afresh with one sample: bytes present at now.
void ResetRate(RateMeter& meter, uint32_t now, int64_t bytes);
// Adds the byte count at now, unless the last sample is younger than
// kRateSpacingMs.
void AddRateSample(RateMeter& meter, uint32_t now, int64_t bytes);
// Bytes per second from the oldest sample within kRateWindowMs of now to
// (now, bytes); -1 while less than kRateSpacingMs of history exists.
int64_t RatePerSecond(const RateMeter& meter, uint32_t now, int64_t bytes);
// Whole seconds until remaining bytes arrive at rate; -1 when unknown.
int64_t SecondsLeft(int64_t remaining, int64_t rate);

// Whole percent of a known size, never 100 before the last byte; -1 unknown.
int PercentOf(int64_t done, int64_t size);
// "42%" of a known size (never 100% before the last byte); "" when the size
// is unknown.
void FormatPercent(int64_t done, int64_t size, char* out, size_t capacity);
// "980 B/s", "12.3 KB/s", "4.56 MB/s" (1 KB = 1024 bytes); "" for a negative rate.
void FormatRate(int64_t rate, char* out, size_t capacity);
// "m:ss" below an hour, "h:mm:ss" beyond; "" for a negative count.
void FormatSecondsLeft(int64_t seconds, char* out, size_t capacity);

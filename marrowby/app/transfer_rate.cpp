#include "marrowby/app/transfer_rate.h"

#include <stdint.h>
#include <stdio.h>

namespace {

int Slot(const RateMeter& meter, int back)
{
    return (meter.next - 1 - back + 2 * kRateSamples) % kRateSamples;
}

}  // namespace

void ResetRate(RateMeter& meter, uint32_t now, int64_t bytes)
{
    meter.count = 0;
    meter.next = 0;
    meter.ticks[0] = now;
    meter.bytes[0] = bytes;
    meter.count = 1;
    meter.next = 1;
}

void AddRateSample(RateMeter& meter, uint32_t now, int64_t bytes)
{
    if (meter.count > 0 && now - meter.ticks[Slot(meter, 0)] < kRateSpacingMs) return;
    meter.ticks[meter.next] = now;
    meter.bytes[meter.next] = bytes;
    meter.next = (meter.next + 1) % kRateSamples;
    if (meter.count < kRateSamples) ++meter.count;
}

int64_t RatePerSecond(const RateMeter& meter, uint32_t now, int64_t bytes)
{
    // The oldest sample still inside the window; tick differences are taken
    // unsigned, so a wrap of the tick count changes nothing.
    int oldest = -1;
    for (int back = 0; back < meter.count; ++back) {
        int slot = Slot(meter, back);
        if (now - meter.ticks[slot] > kRateWindowMs) break;
        oldest = slot;
    }
    if (oldest < 0) {
        // Every sample is older than the window: nothing arrived since.
        if (meter.count == 0) return -1;
        int latest = Slot(meter, 0);
        uint32_t span = now - meter.ticks[latest];
        return span == 0 ? -1 : (bytes - meter.bytes[latest]) * 1000 / static_cast<int64_t>(span);
    }
    uint32_t span = now - meter.ticks[oldest];
    if (span < kRateSpacingMs) return -1;
    int64_t moved = bytes - meter.bytes[oldest];
    if (moved < 0) moved = 0;
    return moved * 1000 / static_cast<int64_t>(span);
}

int64_t SecondsLeft(int64_t remaining, int64_t rate)
{
    if (remaining < 0 || rate <= 0) return -1;
    return (remaining + rate - 1) / rate;
}

int PercentOf(int64_t done, int64_t size)
{
    if (size <= 0 || done < 0) return -1;
    // done * 100 overflows only beyond 92 PB; such sizes are divided first.
    int64_t percent = done < INT64_MAX / 100 ? done * 100 / size : done / (size / 100);
    if (percent > 99) percent = done >= size ? 100 : 99;
    return static_cast<int>(percent);
}

void FormatPercent(int64_t done, int64_t size, char* out, size_t capacity)
{
    if (capacity == 0) return;
    out[0] = '\0';
    int percent = PercentOf(done, size);
    if (percent >= 0) snprintf(out, capacity, "%d%%", percent);
}

void FormatRate(int64_t rate, char* out, size_t capacity)
{
    if (capacity == 0) return;
    out[0] = '\0';
    if (rate < 0) return;
    if (rate < 1024) {
        snprintf(out, capacity, "%d B/s", static_cast<int>(rate));
        return;
    }
    const char* units[] = {"KB/s", "MB/s", "GB/s"};
    double value = static_cast<double>(rate) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 2) {
        value /= 1024.0;
        ++unit;
    }
    const char* format = value < 10.0 ? "%.2f %s" : value < 100.0 ? "%.1f %s" : "%.0f %s";
    snprintf(out, capacity, format, value, units[unit]);
}

void FormatSecondsLeft(int64_t seconds, char* out, size_t capacity)
{
    if (capacity == 0) return;
    out[0] = '\0';
    if (seconds < 0) return;
    long long hours = seconds / 3600;
    int minutes = static_cast<int>((seconds / 60) % 60);
    int secs = static_cast<int>(seconds % 60);
    if (hours > 0) {
        snprintf(out, capacity, "%lld:%02d:%02d", hours, minutes, secs);
    } else {
        snprintf(out, capacity, "%d:%02d", minutes, secs);
    }
}

#pragma once

// Windows only: the wall clock read against the performance counter, which runs
// on through whatever is done to the wall clock. The clock reads it for its wall
// readings, the tick to learn that the clock was set (Windows reports that only to
// windows).

#include <windows.h>

#include <cstdint>

namespace chronvane::windows_clock {

// FILETIME's 100 ns units since 1601-01-01, precise rather than the coarse
// reading, which shows the old second for up to a clock interrupt after it changed.
inline std::int64_t wallUnits() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    return (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// The performance counter in the same 100 ns units.
inline std::int64_t counterUnits() {
    // Fixed from boot: asked once, so that nothing else stands between the readings
    // that readAgainstCounter brackets.
    static const std::int64_t perSecond = [] {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);
        return static_cast<std::int64_t>(frequency.QuadPart);
    }();
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    return count.QuadPart / perSecond * 10'000'000 + count.QuadPart % perSecond * 10'000'000 / perSecond;
}

struct WallAgainstCounter {
    std::int64_t wall = 0;    // wallUnits()
    std::int64_t offset = 0;  // wall less the counter at the same instant
};

// The wall clock between two readings of the counter. A reading interrupted in
// between is taken again (up to five times), so that a preemption is not
// mistaken for the clock being set.
inline WallAgainstCounter readAgainstCounter() {
    constexpr std::int64_t widestUnits = 500;  // 50 us
    WallAgainstCounter reading;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::int64_t before = counterUnits();
        reading.wall = wallUnits();
        const std::int64_t after = counterUnits();
        reading.offset = reading.wall - (before + (after - before) / 2);
        if (after - before <= widestUnits) {
            break;
        }
    }
    return reading;
}

}  // namespace chronvane::windows_clock

#include <windows.h>

#include <cstdint>
#include <ctime>

#include "clock.h"

namespace chronvane {
namespace {

// FILETIME counts 100 ns units from 1601-01-01; time_t counts seconds from 1970.
constexpr std::int64_t fileTimeUnitsPerSecond = 10'000'000;
constexpr std::int64_t fileTimeUnitsPerMilli = 10'000;
constexpr std::int64_t fileTimeAtUnixEpoch = 116'444'736'000'000'000;

std::int64_t systemTimeUnits() {
    FILETIME fileTime{};
    GetSystemTimePreciseAsFileTime(&fileTime);
    return (static_cast<std::int64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
}

// The performance counter in FILETIME units. It counts on through any setting of
// the clock.
std::int64_t counterUnits() {
    // Fixed from boot: asked once, so that nothing else stands between the readings
    // that readWall brackets.
    static const std::int64_t perSecond = [] {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);
        return static_cast<std::int64_t>(frequency.QuadPart);
    }();
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    return count.QuadPart / perSecond * fileTimeUnitsPerSecond +
           count.QuadPart % perSecond * fileTimeUnitsPerSecond / perSecond;
}

}  // namespace

std::int64_t SystemClock::currentSecond() {
    // The precise reading rather than time(): the coarse one still shows the old
    // second for up to a clock interrupt (15.6 ms by default) after it has changed,
    // and the tick is placed right after each change of second.
    const std::int64_t units = systemTimeUnits() + m_advanceMillis * fileTimeUnitsPerMilli;
    return (units - fileTimeAtUnixEpoch) / fileTimeUnitsPerSecond;
}

std::optional<Clock::WallReading> SystemClock::readWall() {
    // The system time between two readings of the performance counter. A reading
    // interrupted in between is taken again: the offset must not jump by the time
    // lost.
    constexpr std::int64_t widestUnits = 500;  // 50 us
    std::int64_t wall = 0;
    std::int64_t offset = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::int64_t before = counterUnits();
        wall = systemTimeUnits();
        const std::int64_t after = counterUnits();
        offset = wall - (before + (after - before) / 2);
        if (after - before <= widestUnits) {
            break;
        }
    }
    return WallReading{(wall - fileTimeAtUnixEpoch) / 10, offset / 10,
                       std::int64_t{m_advanceMillis} * 1000};
}

LocalTime SystemClock::localTime(std::int64_t second) {
    // The C runtime reads TZ (or the system's zone) only in _tzset, so a zone
    // changed while we run shows at the next conversion.
    _tzset();
    const __time64_t seconds = second;
    std::tm tm{};
    if (_localtime64_s(&tm, &seconds) != 0) {
        _gmtime64_s(&tm, &seconds);
    }
    return LocalTime{tm.tm_sec, tm.tm_min, tm.tm_hour, tm.tm_mday, tm.tm_mon, tm.tm_wday};
}

}  // namespace chronvane

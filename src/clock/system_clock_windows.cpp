#include <windows.h>

#include <cstdint>
#include <ctime>

#include "clock.h"
#include "wall_counter_windows.h"

namespace chronvane {
namespace {

// FILETIME counts 100 ns units from 1601-01-01; time_t counts seconds from 1970.
constexpr std::int64_t fileTimeUnitsPerSecond = 10'000'000;
constexpr std::int64_t fileTimeUnitsPerMicro = 10;
constexpr std::int64_t fileTimeAtUnixEpoch = 116'444'736'000'000'000;

using windows_clock::wallUnits;

}  // namespace

std::int64_t SystemClock::currentSecond() {
    // The precise reading rather than time(): the coarse one still shows the old
    // second for up to a clock interrupt (15.6 ms by default) after it has changed,
    // and the tick is placed right after each change of second.
    const std::int64_t units = wallUnits() + m_advance.micros() * fileTimeUnitsPerMicro;
    return (units - fileTimeAtUnixEpoch) / fileTimeUnitsPerSecond;
}

std::optional<Clock::WallReading> SystemClock::readWall() {
    const windows_clock::WallAgainstCounter reading = windows_clock::readAgainstCounter();
    return WallReading{(reading.wall - fileTimeAtUnixEpoch) / 10, reading.offset / 10,
                       m_advance.micros()};
}

bool SystemClock::toLocal(std::int64_t second, std::tm& out) {
    const __time64_t seconds = second;
    return _localtime64_s(&out, &seconds) == 0;
}

bool SystemClock::toUtc(std::int64_t second, std::tm& out) {
    const __time64_t seconds = second;
    return _gmtime64_s(&out, &seconds) == 0;
}

TimeReading SystemClock::reading(std::int64_t second) {
    // The C runtime reads TZ (or the system's zone) only in _tzset, so a zone
    // changed while we run shows at the next conversion.
    _tzset();
    return m_zone.read(second);
}

}  // namespace chronvane

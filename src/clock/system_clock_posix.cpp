#include <ctime>

#include "clock.h"

namespace chronvane {
namespace {

constexpr std::int64_t nanosPerSecond = 1'000'000'000;
constexpr std::int64_t nanosPerMicro = 1000;

std::int64_t nanos(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return std::int64_t{ts.tv_sec} * nanosPerSecond + ts.tv_nsec;
}

}  // namespace

std::int64_t SystemClock::currentSecond() {
    // clock_gettime rather than time(): time() reads the coarse clock, which still
    // shows the old second for a few milliseconds after it has changed, and the
    // tick is placed right after each change of second.
    return (nanos(CLOCK_REALTIME) + m_advance.micros() * nanosPerMicro) / nanosPerSecond;
}

std::optional<Clock::WallReading> SystemClock::readWall() {
    // The wall clock between two readings of the monotonic one, which the kernel
    // slews with it but never steps. A reading interrupted in between (a busy
    // machine) is taken again: the offset must not jump by the time lost.
    constexpr std::int64_t widestNanos = 50'000;
    std::int64_t wall = 0;
    std::int64_t offset = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::int64_t before = nanos(CLOCK_MONOTONIC);
        wall = nanos(CLOCK_REALTIME);
        const std::int64_t after = nanos(CLOCK_MONOTONIC);
        offset = wall - (before + (after - before) / 2);
        if (after - before <= widestNanos) {
            break;
        }
    }
    return WallReading{wall / 1000, offset / 1000, m_advance.micros()};
}

bool SystemClock::toLocal(std::int64_t second, std::tm& out) {
    const time_t seconds = static_cast<time_t>(second);
    return localtime_r(&seconds, &out) != nullptr;
}

bool SystemClock::toUtc(std::int64_t second, std::tm& out) {
    const time_t seconds = static_cast<time_t>(second);
    return gmtime_r(&seconds, &out) != nullptr;
}

TimeReading SystemClock::reading(std::int64_t second) {
    // localtime_r need not look at the time zone again; tzset does, so a zone
    // changed while we run shows at the next conversion.
    tzset();
    return m_zone.read(second);
}

}  // namespace chronvane

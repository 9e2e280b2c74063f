#include "zone_reading.h"

#include <chrono>
#include <cstdlib>

namespace chronvane {
namespace {

CalendarTime calendarOf(const std::tm& tm) {
    return {tm.tm_sec, tm.tm_min, tm.tm_hour, tm.tm_mday, tm.tm_mon, tm.tm_wday, tm.tm_year + 1900};
}

// Seconds from the epoch that the broken-down time would be if it were UTC.
std::int64_t asUtcSeconds(const std::tm& tm) {
    using namespace std::chrono;
    const sys_days days{year{tm.tm_year + 1900} / month{static_cast<unsigned>(tm.tm_mon + 1)} /
                        day{static_cast<unsigned>(tm.tm_mday)}};
    return days.time_since_epoch().count() * 86'400LL + tm.tm_hour * 3600LL + tm.tm_min * 60LL +
           tm.tm_sec;
}

std::string zoneName() {
    const char* tz = std::getenv("TZ");
    return tz != nullptr ? std::string(tz) : std::string();
}

}  // namespace

int ZoneReading::offsetAt(std::int64_t second, std::tm& local, std::tm& utc) const {
    m_toUtc(second, utc);
    if (!m_toLocal(second, local)) {
        local = utc;
    }
    return static_cast<int>(asUtcSeconds(local) - asUtcSeconds(utc));
}

std::optional<OffsetChange> ZoneReading::findNextChange(std::int64_t second, int offset) const {
    std::tm local{};
    std::tm utc{};
    constexpr std::int64_t hour = 3600;
    for (std::int64_t ahead = hour; ahead <= lookAheadSeconds; ahead += hour) {
        std::int64_t high = second + ahead;
        if (offsetAt(high, local, utc) == offset) {
            continue;
        }
        std::int64_t low = high - hour;
        while (high - low > 1) {
            const std::int64_t middle = low + (high - low) / 2;
            (offsetAt(middle, local, utc) == offset ? low : high) = middle;
        }
        return OffsetChange{high, offsetAt(high, local, utc)};
    }
    return std::nullopt;
}

TimeReading ZoneReading::read(std::int64_t second) {
    std::tm local{};
    std::tm utc{};
    const int offset = offsetAt(second, local, utc);
    const CalendarTime here = calendarOf(local);
    TimeReading reading(here.second, here.minute, here.hour, here.day, here.month, here.weekday,
                        here.year);
    reading.utc = calendarOf(utc);
    reading.utcOffsetSeconds = offset;
    reading.daylightSaving = local.tm_isdst > 0;

    std::string zone = zoneName();
    const bool reuse = m_probe && m_probe->zone == zone && m_probe->offset == offset &&
                       second >= m_probe->probedAt && second < m_probe->probedAt + 3600 &&
                       (!m_probe->next || second < m_probe->next->atSecond);
    if (!reuse) {
        m_probe = Probe{std::move(zone), second, offset, findNextChange(second, offset)};
    }
    reading.nextOffsetChange = m_probe->next;
    return reading;
}

}  // namespace chronvane

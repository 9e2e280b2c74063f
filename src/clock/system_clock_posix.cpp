#include <ctime>

#include "clock.h"

namespace chronvane {

std::int64_t SystemClock::currentSecond() {
    // clock_gettime rather than time(): time() reads the coarse clock, which still
    // shows the old second for a few milliseconds after it has changed, and the
    // tick is placed right after each change of second.
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec;
}

LocalTime SystemClock::localTime(std::int64_t second) {
    // localtime_r need not look at the time zone again; tzset does, so a zone
    // changed while we run shows at the next conversion.
    tzset();
    std::tm tm{};
    const time_t seconds = static_cast<time_t>(second);
    if (localtime_r(&seconds, &tm) == nullptr) {
        gmtime_r(&seconds, &tm);
    }
    return LocalTime{tm.tm_sec, tm.tm_min, tm.tm_hour, tm.tm_mday, tm.tm_mon, tm.tm_wday};
}

}  // namespace chronvane

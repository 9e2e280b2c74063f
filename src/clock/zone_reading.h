#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "core/time_reading.h"

namespace chronvane {

// The zone's part of a time reading, made from the platform's two conversions
// (system_clock_<platform>.cpp supplies them): the local and UTC fields, the offset,
// daylight saving and when the offset next changes. The next change is found by
// converting instants ahead, hour by hour over a little more than a day and then to
// the second; that costs a few dozen conversions, so it is kept and reused for the
// hour that follows, for as long as the zone (TZ) and its offset stay the same.
class ZoneReading {
  public:
    using Convert = bool (*)(std::int64_t second, std::tm& out);
    ZoneReading(Convert toLocal, Convert toUtc) : m_toLocal(toLocal), m_toUtc(toUtc) {}

    // Expects the C library to have read the zone already (tzset).
    TimeReading read(std::int64_t second);

    // How far ahead a change of offset is looked for.
    static constexpr std::int64_t lookAheadSeconds = 25 * 3600;

  private:
    int offsetAt(std::int64_t second, std::tm& local, std::tm& utc) const;
    std::optional<OffsetChange> findNextChange(std::int64_t second, int offset) const;

    Convert m_toLocal;
    Convert m_toUtc;
    struct Probe {
        std::string zone;
        std::int64_t probedAt = 0;
        int offset = 0;
        std::optional<OffsetChange> next;
    };
    std::optional<Probe> m_probe;
};

}  // namespace chronvane

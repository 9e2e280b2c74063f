#pragma once

#include <cstdint>
#include <optional>

namespace chronvane {

// A date and time of day in one zone, as the C library's broken-down time has it.
struct CalendarTime {
    int second = 0;   // 0 to 59 (60 only during a leap second)
    int minute = 0;   // 0 to 59
    int hour = 0;     // 0 to 23
    int day = 1;      // day of the month, 1 to 31
    int month = 0;    // 0 to 11, January = 0
    int weekday = 0;  // 0 to 6, Sunday = 0
    int year = 1970;  // as written, e.g. 2026

    friend bool operator==(const CalendarTime&, const CalendarTime&) = default;
};

// The next change of the zone's offset from UTC (daylight saving time beginning
// or ending).
struct OffsetChange {
    std::int64_t atSecond = 0;      // the first second, from the Unix epoch, under the new offset
    int offsetAfterSeconds = 0;     // the offset from then on

    friend bool operator==(const OffsetChange&, const OffsetChange&) = default;
};

// One reading of the clock for one second, taken once ahead of it: everything any
// time format may carry, every field from the same instant. A reading made from
// its local fields alone ({second, minute, hour, day, month, weekday}) is in UTC.
struct TimeReading {
    TimeReading() = default;
    constexpr TimeReading(int second_, int minute_, int hour_, int day_, int month_, int weekday_,
                          int year_ = 1970)
        : second(second_), minute(minute_), hour(hour_), day(day_), month(month_),
          weekday(weekday_), year(year_),
          utc{second_, minute_, hour_, day_, month_, weekday_, year_} {}

    int second = 0;   // 0 to 59 (60 only during a leap second)
    int minute = 0;   // 0 to 59
    int hour = 0;     // 0 to 23
    int day = 1;      // day of the month, 1 to 31
    int month = 0;    // 0 to 11, January = 0
    int weekday = 0;  // 0 to 6, Sunday = 0
    int year = 1970;

    // The same instant in UTC.
    CalendarTime utc;
    // Local time less UTC, in seconds (3600 for CET); and whether that includes
    // daylight saving time.
    int utcOffsetSeconds = 0;
    bool daylightSaving = false;
    // None within the next day or so.
    std::optional<OffsetChange> nextOffsetChange;

    // A leap second the system has been told of, at the end of the current UTC day.
    enum class Leap { None, Insert, Delete };
    Leap leap = Leap::None;
    // This is the second inserted at the end of a UTC day (23:59:60 UTC): second
    // and utc.second read 60, the other fields as at 23:59:59 UTC.
    bool inLeapSecond = false;
    // How far the clock can be trusted, from the same reading of the clock's state;
    // the figures are microseconds and mean nothing unless the state is known.
    enum class Trust { Unknown, Synchronised, NotSynchronised };
    Trust trust = Trust::Unknown;
    std::int64_t estimatedErrorMicros = 0;
    std::int64_t maxErrorMicros = 0;
    // The clock was synchronised at some reading of its state in this run: with
    // trust not Synchronised now, it runs on in holdover rather than never having
    // been set.
    bool wasSynchronised = false;

    CalendarTime local() const { return {second, minute, hour, day, month, weekday, year}; }
    // The inserted second that follows this reading of 23:59:59 UTC: the same
    // instant a second on, in every zone at its second 60.
    TimeReading insertedSecond() const {
        TimeReading leapSecond = *this;
        leapSecond.inLeapSecond = true;
        leapSecond.second = 60;
        leapSecond.utc.second = 60;
        return leapSecond;
    }

    friend bool operator==(const TimeReading&, const TimeReading&) = default;
};

}  // namespace chronvane

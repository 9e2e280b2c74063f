#pragma once

namespace chronvane {

// One reading of the local clock, every field from the same instant. The year is
// never sent, so it is not kept.
struct LocalTime {
    int second = 0;   // 0 to 59 (60 only during a leap second)
    int minute = 0;   // 0 to 59
    int hour = 0;     // 0 to 23
    int day = 1;      // day of the month, 1 to 31
    int month = 0;    // 0 to 11, January = 0
    int weekday = 0;  // 0 to 6, Sunday = 0

    friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

}  // namespace chronvane

#pragma once

#include <array>
#include <string_view>

namespace chronvane {

// Our own name tables rather than strftime: a Qt program calls setlocale(LC_ALL, ""),
// after which %A and %B would follow the user's language, and the receiving end and
// the people reading the log expect English. Shared by the log texts and the monitor.

// Sunday first, as tm_wday counts.
inline constexpr std::array<std::string_view, 7> weekdayNames{
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
// January first, as tm_mon counts.
inline constexpr std::array<std::string_view, 12> monthNames{
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

}  // namespace chronvane

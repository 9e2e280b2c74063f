#pragma once

#include <string>

#include "core/byte_string.h"
#include "core/local_time.h"

// The two time messages and their log texts. Pure functions: none keeps state and
// none fails for a valid LocalTime. Names are English whatever the process locale.
namespace chronvane {

// "HH:MM:SS   \r", 12 bytes.
ByteString buildEseMessage(const LocalTime& time);
// "HH:MM:SS".
std::string eseLogText(const LocalTime& time);
// Six packets setting month, day, weekday, hour, minute, second: 48 bytes.
ByteString buildDateTimeMessage(const LocalTime& time);
// "Weekday Month DD  HH:MM:SS", two spaces before the hour.
std::string dateTimeLogText(const LocalTime& time);

}  // namespace chronvane

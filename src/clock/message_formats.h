#pragma once

#include <string>

#include "core/byte_string.h"
#include "core/local_time.h"
#include "core/protocol.h"

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

// How one protocol's message is made and how the log says it went out.
struct MessageFormat {
    ByteString (*build)(const LocalTime& time);
    // The log line after "COMn: ", for example `Transmitted ESE Clock message "14:05:09"`.
    std::string (*transmittedText)(const LocalTime& time);
};

// The controller's one way to send: a new protocol adds its row here.
const MessageFormat& messageFormat(Protocol protocol);

}  // namespace chronvane

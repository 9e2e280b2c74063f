#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_string.h"
#include "core/line_settings.h"
#include "core/time_reading.h"

// The shape of one time format: everything the sender, the windows, the help and
// the monitor need to know of it, in one row that the format's own file exports
// (format_registry.cpp lists the rows).
namespace chronvane {

struct DecodedMessage;
struct CustomTemplate;
// Wall-clock time since the epoch, as the monitor stamps the bytes it reads.
using Timestamp = std::chrono::nanoseconds;

// What the operator may set for a format beyond choosing it (a talker, a template).
struct FormatSettings {
    // NMEA: the two letters after "$" (--talker).
    std::string talker = "GP";
    // NMEA: an inserted leap second is sent as second 60 rather than 59 again (--leap-60).
    bool leap60 = false;
    // The operator's template (--format custom:TEXT), compiled; null for no template.
    std::shared_ptr<const CustomTemplate> custom;
    friend bool operator==(const FormatSettings&, const FormatSettings&) = default;
};

// What a format is called wherever the program names it.
struct FormatNames {
    // As the help texts and the windows' radios call it.
    std::string_view title;
    // The short option that chooses it, searched for as text in any case; empty
    // for the default, which needs none, and for every format --format alone
    // chooses (a word searched as text would be found inside a device's path).
    std::string_view option;
    // The monitor's report: its column in a line, its value in JSON.
    std::string_view reportLabel;
    std::string_view jsonName;
    // What --format takes to choose it: one lower-case word ("ese", "nmea-rmc").
    std::string_view word;
};

// How the bytes at some point of a stream match a format's unit (a whole message,
// or one packet of a message sent as several).
enum class Match { complete, partial, broken };
struct UnitMatch {
    Match match;
    // Bytes matched; for complete, the whole unit.
    std::size_t length;
};

// What a format's decoder may ask of the stream around it: how the bytes starting
// offset bytes on match any format (a unit cut short is followed straight by the
// next one).
class StreamLookahead {
  public:
    virtual Match matchAt(std::size_t offset) const = 0;

  protected:
    ~StreamLookahead() = default;
};

// One format's part of the monitor's decoding: recognising its units and turning
// them into messages with the faults found in them. The stream decoder does the
// rest for every format alike (resynchronising, timing, noise, consecutive
// seconds). Finished messages are appended to out, oldest first.
class FormatDecoder {
  public:
    virtual ~FormatDecoder() = default;
    // bytes: all that have arrived from the candidate's first byte on. A first byte
    // that cannot start a unit is {broken, 0}.
    virtual UnitMatch match(std::span<const std::uint8_t> bytes,
                            const StreamLookahead& ahead) const = 0;
    // Whether a whole unit may be the first one a reader that joined the line part
    // way through a message takes (for a message of several units, the first unit).
    virtual bool startsStream(std::span<const std::uint8_t> unit) const = 0;
    virtual void take(std::span<const std::uint8_t> unit, Timestamp firstByte,
                      std::vector<DecodedMessage>& out) = 0;
    // A unit that stopped after part.size() bytes.
    virtual void cutShort(std::span<const std::uint8_t> part, Timestamp firstByte,
                          std::vector<DecodedMessage>& out) = 0;
    // The message under way, if any, is over: another format's message began, the
    // line paused.
    virtual void close(std::vector<DecodedMessage>& out) = 0;
    // The stream ends: a message under way is dropped without a fault.
    virtual void drop() = 0;
};

// A time format: one row per format.
struct TimeFormat {
    FormatNames names;
    // The line it is sent on unless the operator says otherwise.
    LineSettings line = timeLine;
    // Which byte's start marks the second the message carries. The sender starts
    // the message early by the air time of the bytes before it (leadTime).
    std::size_t onTimeAt = 0;
    // The main window has a radio for it (the two first formats); the others are
    // sent in console mode and by the service only.
    bool hasRadio = false;
    // One message as the help shows it, printable ("14:05:09   <CR>").
    std::string_view example;
    // What of a reading it carries beyond the local time of day and date.
    bool needsUtc = false;
    bool needsYear = false;
    bool needsZone = false;
    // The time of day it carries is UTC, whatever the zone: the monitor judges it
    // so. (A template says so message by message.)
    bool carriesUtc = false;
    // The monitor's report shows the date it carries.
    bool carriesDate = false;
    // The date it carries has the weekday too (else the report leaves it out).
    bool carriesWeekday = false;
    // It can say second 60 (an inserted leap second); otherwise that second is
    // sent as 23:59:59 again.
    bool carriesLeapSecond = false;
    // Bytes in one message.
    std::size_t (*length)(const FormatSettings& settings) = nullptr;
    // The message for one second. Never fails for a valid reading.
    ByteString (*build)(const TimeReading& reading, const FormatSettings& settings) = nullptr;
    // The log line after "COMn: ", e.g. `Transmitted ESE Clock message "14:05:09"`.
    std::string (*transmittedText)(const TimeReading& reading,
                                   const FormatSettings& settings) = nullptr;
    std::unique_ptr<FormatDecoder> (*makeDecoder)() = nullptr;
};

// How long one message takes on line: start bit, data bits, parity and stop bits
// for every byte.
std::chrono::microseconds airTime(const TimeFormat& format, const LineSettings& line,
                                  const FormatSettings& settings = {});

// How early the message starts so that the start bit of its onTimeAt byte falls
// at the change of second: the air time of the bytes before it.
std::chrono::microseconds leadTime(const TimeFormat& format, const LineSettings& line,
                                   const FormatSettings& settings = {});
// The byte whose start bit marks the second: the row's onTimeAt, or where the
// operator's template marks it.
std::size_t onTimeIndex(const TimeFormat& format, const FormatSettings& settings = {});
// The reading format sends for the inserted second that follows lastOfDay
// (23:59:59 UTC): second 60 where it carries one, else lastOfDay again, marked
// as the leap second.
TimeReading insertedSecondFor(const TimeFormat& format, const TimeReading& lastOfDay);

// Whether a row has every name, for the rows' compile-time checks. Its hooks are
// not compared with null here: a sanitizer build cannot do that at compile time;
// the rows' test calls every hook of every row instead.
constexpr bool complete(const TimeFormat& format) {
    return !format.names.title.empty() && !format.names.reportLabel.empty() &&
           !format.names.jsonName.empty() && !format.names.word.empty() &&
           !format.example.empty();
}

}  // namespace chronvane

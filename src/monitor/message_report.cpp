#include "message_report.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "core/calendar_names.h"
#include "formats/clock_text.h"
#include "formats/format_registry.h"

namespace chronvane::monitor {
namespace {

std::string clockText(const DecodedMessage& message) {
    return chronvane::clockText(message.hour, message.minute, message.second);
}

// "Monday February 22" as the sender logs it; a number where a name does not exist.
std::string dateText(const DecodedMessage& message) {
    std::string text;
    if (!formatOf(message.protocol).carriesWeekday) {
        // Nothing to say of a weekday the format never sends.
    } else if (message.weekday && *message.weekday >= 1 && *message.weekday <= 7) {
        text += weekdayNames[static_cast<std::size_t>(*message.weekday - 1)];
        text += ' ';
    } else {
        text += "weekday " + (message.weekday ? std::to_string(*message.weekday) : "??");
        text += ' ';
    }
    if (message.month && *message.month >= 1 && *message.month <= 12) {
        text += monthNames[static_cast<std::size_t>(*message.month - 1)];
    } else {
        text += "month " + (message.month ? std::to_string(*message.month) : "??");
    }
    text += ' ' + twoDigits(message.day);
    return text;
}

std::string faultsText(const DecodedMessage& message) {
    if (message.sound()) {
        return "sound";
    }
    std::string text;
    for (const Fault fault : message.faults) {
        if (!text.empty()) {
            text += ", ";
        }
        if (fault == Fault::strayBytes) {
            text += std::to_string(message.strayBytes) + " stray byte" +
                    (message.strayBytes == 1 ? "" : "s") + " before it";
        } else {
            text += faultText(fault);
        }
    }
    return text;
}

std::string jsonNumber(const std::optional<int>& value) {
    return value ? std::to_string(*value) : "null";
}

// The protocol column is as wide as its longest label.
std::size_t reportLabelWidth() {
    static const std::size_t width = [] {
        std::size_t widest = 0;
        for (const TimeFormat* format : allFormats()) {
            widest = std::max(widest, format->names.reportLabel.size());
        }
        return widest;
    }();
    return width;
}

// What the message says of its own clock, e.g. "synchronised, quality B".
std::string statusText(const DecodedMessage& message) {
    std::string text;
    for (const std::string& word : message.status) {
        text += (text.empty() ? "" : ", ") + word;
    }
    return text;
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out.push_back(c);
        }
    }
    return out + "\"";
}

bool carriesDate(const DecodedMessage& message) {
    return formatOf(message.protocol).carriesDate;
}

}  // namespace

long long arrivalOffsetMs(const DecodedMessage& message) {
    if (message.offsetMs) {
        return *message.offsetMs;
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(message.firstByte);
    const auto offset = ms.count() % 1000;
    return offset < 0 ? offset + 1000 : offset;
}

std::string reportLine(const DecodedMessage& message) {
    std::string line = clockText(message);
    const std::string_view label = namesOf(message.protocol).reportLabel;
    line += "  ";
    line += label;
    line.append(reportLabelWidth() - label.size() + 2, ' ');
    const long long ms = arrivalOffsetMs(message);
    char offset[40];
    std::snprintf(offset, sizeof offset, "%c%3lld ms  ", ms < 0 ? '-' : '+', ms < 0 ? -ms : ms);
    line += offset;
    if (carriesDate(message)) {
        line += dateText(message) + "  ";
    }
    if (!message.status.empty()) {
        line += statusText(message) + "  ";
    }
    line += faultsText(message);
    return line;
}

std::string reportJson(const DecodedMessage& message, const std::string& clock) {
    std::string json = "{\"time\":\"" + clockText(message) + "\",\"protocol\":\"";
    json += namesOf(message.protocol).jsonName;
    json += "\",\"hour\":" + jsonNumber(message.hour);
    json += ",\"minute\":" + jsonNumber(message.minute);
    json += ",\"second\":" + jsonNumber(message.second);
    if (carriesDate(message)) {
        json += ",\"month\":" + jsonNumber(message.month);
        json += ",\"day\":" + jsonNumber(message.day);
        json += ",\"weekday\":" + jsonNumber(message.weekday);
    }
    json += ",\"offset_ms\":" + std::to_string(arrivalOffsetMs(message));
    json += ",\"sound\":";
    json += message.sound() ? "true" : "false";
    json += ",\"faults\":[";
    for (std::size_t i = 0; i < message.faults.size(); ++i) {
        json += (i > 0 ? ",\"" : "\"") + std::string(faultText(message.faults[i])) + "\"";
    }
    json += "]";
    // Only for a message that says something of its clock: the other formats'
    // objects stay as they were.
    if (!message.status.empty() || message.claimsSync) {
        json += ",\"status\":[";
        for (std::size_t i = 0; i < message.status.size(); ++i) {
            json += i > 0 ? "," : "";
            json += jsonString(message.status[i]);
        }
        json += "]";
    }
    json += ",\"stray_bytes\":" + std::to_string(message.strayBytes);
    json += ",\"clock\":\"" + clock + "\"}";
    return json;
}

}  // namespace chronvane::monitor

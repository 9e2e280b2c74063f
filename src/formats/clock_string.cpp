#include "clock_string.h"

#include <algorithm>
#include <chrono>

namespace chronvane::clock_string {
namespace {

using namespace std::chrono;

year_month_day dateOf(const CalendarTime& time) {
    return year{time.year} / month{static_cast<unsigned>(time.month + 1)} /
           day{static_cast<unsigned>(time.day)};
}

std::int64_t unixSecond(const CalendarTime& utc) {
    const sys_days date{dateOf(utc)};
    return duration_cast<seconds>(date.time_since_epoch()).count() + utc.hour * 3600LL +
           utc.minute * 60LL + std::min(utc.second, 59);
}

bool isDigit(std::uint8_t byte) {
    return byte >= '0' && byte <= '9';
}
bool isLetter(std::uint8_t byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

class LayoutDecoder final : public FormatDecoder {
  public:
    LayoutDecoder(const Layout& layout, Reader read) : m_layout(layout), m_read(read) {}

    UnitMatch match(std::span<const std::uint8_t> bytes, const StreamLookahead&) const override {
        const std::size_t length = m_layout.pattern.size();
        const std::size_t limit = std::min(bytes.size(), length);
        std::size_t status = 0;
        for (std::size_t i = 0; i < limit; ++i) {
            if (!fits(i, bytes[i], status)) {
                return {Match::broken, i < m_layout.sharedOpening ? 0 : i};
            }
        }
        if (bytes.empty()) {
            return {Match::broken, 0};
        }
        return {limit == length ? Match::complete : Match::partial, limit};
    }
    bool startsStream(std::span<const std::uint8_t>) const override { return true; }
    void take(std::span<const std::uint8_t> unit, Timestamp firstByte,
              std::vector<DecodedMessage>& out) override {
        out.push_back(decode(unit, firstByte));
    }
    void cutShort(std::span<const std::uint8_t> part, Timestamp firstByte,
                  std::vector<DecodedMessage>& out) override {
        DecodedMessage message = decode(part, firstByte);
        message.add(Fault::cutShort);
        out.push_back(std::move(message));
    }
    void close(std::vector<DecodedMessage>&) override {}
    void drop() override {}

  private:
    bool fits(std::size_t i, std::uint8_t byte, std::size_t& status) const {
        switch (m_layout.pattern[i]) {
            case 'n':
                return isDigit(byte);
            case 'a':
                return isLetter(byte);
            case 's':
                return status < m_layout.statusChars.size() &&
                       m_layout.statusChars[status++].find(static_cast<char>(byte)) !=
                           std::string_view::npos;
            default:
                return byte == static_cast<std::uint8_t>(m_layout.pattern[i]);
        }
    }
    DecodedMessage decode(std::span<const std::uint8_t> bytes, Timestamp firstByte) const {
        DecodedMessage message;
        message.firstByte = firstByte;
        m_read(bytes, message);
        return message;
    }

    const Layout& m_layout;
    Reader m_read;
};

}  // namespace

int dayOfYear(const CalendarTime& time) {
    const sys_days date{dateOf(time)};
    const sys_days newYear{year{time.year} / January / 1};
    return static_cast<int>((date - newYear).count()) + 1;
}

bool offsetChangeWithin(const TimeReading& reading, std::int64_t seconds) {
    if (!reading.nextOffsetChange) {
        return false;
    }
    const std::int64_t ahead = reading.nextOffsetChange->atSecond - unixSecond(reading.utc);
    return ahead > 0 && ahead <= seconds;
}

bool leapThisHour(const TimeReading& reading) {
    return reading.leap != TimeReading::Leap::None && reading.utc.hour == 23;
}

bool leapThisMonth(const TimeReading& reading) {
    const year_month_day date = dateOf(reading.utc);
    return reading.leap != TimeReading::Leap::None &&
           date.day() == year_month_day_last{date.year(), month_day_last{date.month()}}.day();
}

char daylightCharacter(const TimeReading& reading) {
    constexpr std::int64_t day = 24 * 3600;
    if (offsetChangeWithin(reading, day)) {
        return reading.daylightSaving ? 'O' : 'I';
    }
    return reading.daylightSaving ? 'D' : 'S';
}

void readSpectracomSync(std::uint8_t byte, DecodedMessage& message) {
    message.claimsSync = byte == ' ';
    if (byte == '?') {
        message.status.emplace_back("not synchronised");
    } else if (byte == '*') {
        message.status.emplace_back("time set by hand");
    }
}

void readSpectracomDaylight(std::uint8_t byte, DecodedMessage& message) {
    if (byte == 'I' || byte == 'O') {
        message.status.emplace_back("DST change ahead");
    }
}

std::string transmittedLine(std::string_view title, const ByteString& message) {
    std::string text = "Transmitted ";
    text.append(title);
    text.append(" \"");
    for (const std::uint8_t byte : message) {
        if (byte >= 0x20 && byte < 0x7F) {
            text.push_back(static_cast<char>(byte));
        }
    }
    text.push_back('"');
    return text;
}

void appendDigits(ByteString& out, int value, int width) {
    int scale = 1;
    for (int i = 1; i < width; ++i) {
        scale *= 10;
    }
    value = value < 0 ? -value : value;
    for (; scale > 0; scale /= 10) {
        out.push_back(static_cast<std::uint8_t>('0' + value / scale % 10));
    }
}

void appendText(ByteString& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

std::optional<int> digitsAt(std::span<const std::uint8_t> bytes, std::size_t at, int width) {
    if (at + static_cast<std::size_t>(width) > bytes.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = at; i < at + static_cast<std::size_t>(width); ++i) {
        if (!isDigit(bytes[i])) {
            return std::nullopt;
        }
        value = value * 10 + (bytes[i] - '0');
    }
    return value;
}

std::unique_ptr<FormatDecoder> makeDecoder(const Layout& layout, Reader read) {
    return std::make_unique<LayoutDecoder>(layout, read);
}

void appendTimeOfDay(ByteString& out, const CalendarTime& time, char separator) {
    appendDigits(out, time.hour, 2);
    out.push_back(static_cast<std::uint8_t>(separator));
    appendDigits(out, time.minute, 2);
    out.push_back(static_cast<std::uint8_t>(separator));
    appendDigits(out, time.second, 2);
}

void readTimeOfDay(std::span<const std::uint8_t> bytes, std::size_t hourAt, DecodedMessage& message) {
    // "HH:MM:SS": each field three bytes after the one before.
    message.hour = digitsAt(bytes, hourAt, 2);
    message.minute = digitsAt(bytes, hourAt + 3, 2);
    message.second = digitsAt(bytes, hourAt + 6, 2);
    checkRange(message, message.hour, 0, 23);
    checkRange(message, message.minute, 0, 59);
    checkRange(message, message.second, 0, 60);
}

void checkRange(DecodedMessage& message, const std::optional<int>& value, int low, int high) {
    if (value && (*value < low || *value > high)) {
        message.add(Fault::valueOutOfRange);
    }
}

void setDateFromDayOfYear(DecodedMessage& message, int yearNumber, int dayNumber) {
    const sys_days newYear{year{yearNumber} / January / 1};
    const year_month_day date{newYear + days{dayNumber - 1}};
    if (dayNumber < 1 || date.year() != year{yearNumber}) {
        message.add(Fault::valueOutOfRange);
        return;
    }
    message.month = static_cast<int>(static_cast<unsigned>(date.month()));
    message.day = static_cast<int>(static_cast<unsigned>(date.day()));
    message.weekday = static_cast<int>(weekday{sys_days{date}}.c_encoding()) + 1;
}

}  // namespace chronvane::clock_string

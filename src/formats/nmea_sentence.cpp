#include "nmea_sentence.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "clock_text.h"
#include "decoded_message.h"
#include "format_registry.h"

namespace chronvane::nmea {
namespace {

constexpr char start = '$';
constexpr char checksumMark = '*';
// The standard's limit, "$" to LF.
constexpr std::size_t longestSentence = 82;
// "$", two talker letters, three of the sentence's name.
constexpr std::size_t nameEnd = 6;
constexpr std::size_t talkerLength = 2;

constexpr char hexDigit(int value) {
    return "0123456789ABCDEF"[value & 0x0F];
}

std::uint8_t checksumOf(std::string_view body) {
    std::uint8_t sum = 0;
    for (const char c : body) {
        sum = static_cast<std::uint8_t>(sum ^ static_cast<std::uint8_t>(c));
    }
    return sum;
}

std::string sentence(const std::string& body) {
    const std::uint8_t sum = checksumOf(body);
    std::string text;
    text.reserve(body.size() + 6);
    text.push_back(start);
    text.append(body);
    text.push_back(checksumMark);
    text.push_back(hexDigit(sum >> 4));
    text.push_back(hexDigit(sum));
    text.append("\r\n");
    return text;
}

// "hhmmss.00" in UTC, which NMEA always carries. In an inserted leap second the
// reading holds the last second of the day (23:59:59 again, or 23:59:60): its
// 60 goes out only where the operator asked for it, as not every receiver takes it.
std::string timeField(const TimeReading& reading, const FormatSettings& settings) {
    int second = reading.utc.second;
    if (reading.inLeapSecond || second == 60) {
        second = settings.leap60 ? 60 : 59;
    }
    return twoDigits(reading.utc.hour) + twoDigits(reading.utc.minute) + twoDigits(second) + ".00";
}

std::string yearField(int year) {
    std::string digits = std::to_string(std::clamp(year, 0, 9999));
    return std::string(4 - digits.size(), '0') + digits;
}

// ZDA's zone fields: hours with the sign of local time less UTC ("01" for CET,
// "-05" for New York's winter, no "+"), then the minutes, always unsigned, which
// go the hours' way ("-03,30" is three and a half hours behind UTC). The sign is
// worded both ways in the texts; this is the receivers' makers' reading, that
// field 5 of -5 means local time is 5 hours earlier.
std::string zoneFields(int offsetSeconds) {
    const int magnitude = std::abs(offsetSeconds) / 60;
    return std::string(offsetSeconds < 0 ? "-" : "") + twoDigits(magnitude / 60) + "," +
           twoDigits(magnitude % 60);
}

bool isDigit(std::uint8_t byte) {
    return byte >= '0' && byte <= '9';
}
bool isUpper(std::uint8_t byte) {
    return byte >= 'A' && byte <= 'Z';
}

enum class Kind { rmc, zda };

// Whether bytes may begin a sentence one of whose names is known; the talker is
// any two letters.
bool fitsName(std::span<const std::uint8_t> bytes) {
    constexpr std::string_view names[] = {"RMC", "ZDA"};
    const std::size_t limit = std::min(bytes.size(), nameEnd);
    for (std::size_t i = 1; i < limit && i <= talkerLength; ++i) {
        if (!isUpper(bytes[i])) {
            return false;
        }
    }
    const std::size_t nameAt = 1 + talkerLength;
    if (limit <= nameAt) {
        return true;
    }
    return std::any_of(std::begin(names), std::end(names), [&](std::string_view name) {
        return std::equal(bytes.begin() + nameAt, bytes.begin() + limit, name.begin());
    });
}

std::optional<int> digitsAt(std::string_view field, std::size_t at, std::size_t count) {
    if (at + count > field.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!isDigit(static_cast<std::uint8_t>(field[i]))) {
            return std::nullopt;
        }
        value = value * 10 + (field[i] - '0');
    }
    return value;
}

std::vector<std::string_view> splitFields(std::string_view body) {
    std::vector<std::string_view> fields;
    std::size_t from = 0;
    while (true) {
        const std::size_t comma = body.find(',', from);
        fields.push_back(body.substr(from, comma - from));
        if (comma == std::string_view::npos) {
            return fields;
        }
        from = comma + 1;
    }
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

struct Sentence {
    std::optional<Kind> kind;
    DecodedMessage message;
};

// The time field, "hhmmss" with any fraction.
void readTime(std::string_view field, DecodedMessage& message) {
    message.hour = digitsAt(field, 0, 2);
    message.minute = digitsAt(field, 2, 2);
    message.second = digitsAt(field, 4, 2);
    if (!message.hour || !message.minute || !message.second) {
        message.add(Fault::valueOutOfRange);
    }
}

void readDay(std::optional<int> day, std::optional<int> month, DecodedMessage& message) {
    if (!day || !month || *day < 1 || *day > 31 || *month < 1 || *month > 12) {
        message.add(Fault::valueOutOfRange);
        return;
    }
    message.day = day;
    message.month = month;
}

// What bytes hold of a sentence, whole or cut short.
Sentence decode(std::span<const std::uint8_t> bytes, Timestamp firstByte) {
    Sentence read;
    read.message.firstByte = firstByte;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.size() >= nameEnd) {
        read.kind = text.substr(3, 3) == "RMC" ? Kind::rmc : Kind::zda;
    }
    const std::size_t mark = text.find(checksumMark);
    const std::string_view body = text.substr(1, mark == std::string_view::npos ? text.npos : mark - 1);
    DecodedMessage& message = read.message;
    if (mark != std::string_view::npos) {
        const std::string_view tail = text.substr(mark + 1);
        const int high = tail.size() > 0 ? hexValue(tail[0]) : -1;
        const int low = tail.size() > 1 ? hexValue(tail[1]) : -1;
        if (high < 0 || low < 0 || tail.size() != 4 || high * 16 + low != checksumOf(body)) {
            message.add(Fault::badChecksum);
        }
    }
    const std::vector<std::string_view> fields = splitFields(body);
    if (fields.size() > 1) {
        readTime(fields[1], message);
    }
    if (read.kind == Kind::rmc) {
        if (fields.size() > 2) {
            const bool valid = fields[2] == "A";
            message.claimsSync = valid;
            message.status.emplace_back(valid ? "synchronised" : "not synchronised");
        }
        if (fields.size() > 9) {
            readDay(digitsAt(fields[9], 0, 2), digitsAt(fields[9], 2, 2), message);
        }
    } else if (read.kind == Kind::zda && fields.size() > 3) {
        readDay(digitsAt(fields[2], 0, 2), digitsAt(fields[3], 0, 2), message);
    }
    return read;
}

bool sameTime(const DecodedMessage& a, const DecodedMessage& b) {
    return a.hour && a.hour == b.hour && a.minute == b.minute && a.second == b.second;
}

// One sentence from bytes[0]; a "$" of the next one or any byte that no sentence
// holds breaks it.
UnitMatch matchSentence(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes[0] != start || !fitsName(bytes)) {
        return {Match::broken, 0};
    }
    const std::size_t limit = std::min(bytes.size(), longestSentence);
    for (std::size_t i = nameEnd; i < limit; ++i) {
        const std::uint8_t byte = bytes[i];
        if (byte == '\r') {
            if (i + 1 == bytes.size()) {
                return {Match::partial, bytes.size()};
            }
            return bytes[i + 1] == '\n' ? UnitMatch{Match::complete, i + 2}
                                        : UnitMatch{Match::broken, i + 1};
        }
        if (byte < 0x20 || byte > 0x7E || byte == start) {
            return {Match::broken, i};
        }
    }
    return limit == longestSentence ? UnitMatch{Match::broken, limit}
                                    : UnitMatch{Match::partial, bytes.size()};
}

class NmeaDecoder final : public FormatDecoder {
  public:
    UnitMatch match(std::span<const std::uint8_t> bytes, const StreamLookahead&) const override {
        return matchSentence(bytes);
    }
    bool startsStream(std::span<const std::uint8_t>) const override { return true; }

    void take(std::span<const std::uint8_t> unit, Timestamp firstByte,
              std::vector<DecodedMessage>& out) override {
        Sentence read = decode(unit, firstByte);
        if (read.kind == Kind::rmc) {
            read.message.protocol = Protocol::NmeaRmc;
            m_lastRmc = read.message;
            out.push_back(std::move(read.message));
            return;
        }
        // The ZDA that follows an RMC of its second completes that message, out
        // already: it is reported only when something is wrong with it.
        const bool follows = m_lastRmc && sameTime(*m_lastRmc, read.message);
        m_lastRmc.reset();
        if (follows && read.message.sound()) {
            return;
        }
        read.message.protocol = Protocol::NmeaZda;
        out.push_back(std::move(read.message));
    }

    void cutShort(std::span<const std::uint8_t> part, Timestamp firstByte,
                  std::vector<DecodedMessage>& out) override {
        m_lastRmc.reset();
        Sentence read = decode(part, firstByte);
        read.message.protocol = read.kind == Kind::zda ? Protocol::NmeaZda : Protocol::NmeaRmc;
        read.message.add(Fault::cutShort);
        out.push_back(std::move(read.message));
    }

    // Every message goes out as its sentence ends, so nothing is under way.
    void close(std::vector<DecodedMessage>&) override { m_lastRmc.reset(); }
    void drop() override { m_lastRmc.reset(); }

  private:
    std::optional<DecodedMessage> m_lastRmc;
};

// RMC then ZDA of the same second as one message: the nmea row's unit. Where the
// ZDA does not follow (a sender of RMC alone) the pair stays partial, as long as
// the RMC row's whole sentence, and that row takes it once the next byte or the
// gap shows no ZDA is coming.
class NmeaPairDecoder final : public FormatDecoder {
  public:
    UnitMatch match(std::span<const std::uint8_t> bytes, const StreamLookahead&) const override {
        const UnitMatch first = matchSentence(bytes);
        if (first.match != Match::complete || !isKind(bytes, Kind::rmc)) {
            return first.match == Match::partial && fitsKind(bytes, Kind::rmc)
                       ? first
                       : UnitMatch{Match::broken, 0};
        }
        const std::span<const std::uint8_t> rest = bytes.subspan(first.length);
        if (rest.empty()) {
            return {Match::partial, first.length};
        }
        const UnitMatch second = matchSentence(rest);
        if (second.match == Match::broken || !fitsKind(rest, Kind::zda)) {
            return {Match::broken, first.length};
        }
        return {second.match, first.length + second.length};
    }
    bool startsStream(std::span<const std::uint8_t>) const override { return true; }

    void take(std::span<const std::uint8_t> unit, Timestamp firstByte,
              std::vector<DecodedMessage>& out) override {
        const std::size_t rmcEnd = matchSentence(unit).length;
        Sentence rmc = decode(unit.first(rmcEnd), firstByte);
        Sentence zda = decode(unit.subspan(rmcEnd), firstByte);
        rmc.message.protocol = Protocol::Nmea;
        const bool agrees = sameTime(rmc.message, zda.message) && zda.message.sound();
        out.push_back(std::move(rmc.message));
        // A ZDA that disagrees with its RMC, or is damaged, is reported beside it.
        if (!agrees) {
            zda.message.protocol = Protocol::NmeaZda;
            out.push_back(std::move(zda.message));
        }
    }

    // Only a pair cut inside its ZDA comes here (a shorter part is the RMC row's):
    // the RMC is whole, the message is not.
    void cutShort(std::span<const std::uint8_t> part, Timestamp firstByte,
                  std::vector<DecodedMessage>& out) override {
        const UnitMatch first = matchSentence(part);
        const std::size_t rmcEnd = first.match == Match::complete ? first.length : part.size();
        Sentence rmc = decode(part.first(rmcEnd), firstByte);
        rmc.message.protocol = Protocol::Nmea;
        rmc.message.add(Fault::cutShort);
        out.push_back(std::move(rmc.message));
    }
    void close(std::vector<DecodedMessage>&) override {}
    void drop() override {}

  private:
    static bool isKind(std::span<const std::uint8_t> bytes, Kind kind) {
        return bytes.size() >= nameEnd && fitsKind(bytes, kind);
    }
    // Whether the sentence's name, as far as it has come, is kind's.
    static bool fitsKind(std::span<const std::uint8_t> bytes, Kind kind) {
        const std::string_view name = kind == Kind::rmc ? "RMC" : "ZDA";
        constexpr std::size_t nameAt = 1 + talkerLength;
        const std::size_t limit = std::min(bytes.size(), nameEnd);
        return limit <= nameAt || std::equal(bytes.begin() + nameAt, bytes.begin() + limit, name.begin());
    }
};

}  // namespace

std::string rmcSentence(const TimeReading& reading, const FormatSettings& settings) {
    const bool valid = reading.trust == TimeReading::Trust::Synchronised;
    const CalendarTime& utc = reading.utc;
    // Position, speed, course and the magnetic variation are left empty; the
    // mode says whether the rest is to be believed.
    return sentence(settings.talker + "RMC," + timeField(reading, settings) + "," +
                    (valid ? "A" : "V") + ",,,,,,," + twoDigits(utc.day) +
                    twoDigits(utc.month + 1) + twoDigits(utc.year % 100) + ",,," +
                    (valid ? "A" : "N"));
}

std::string zdaSentence(const TimeReading& reading, const FormatSettings& settings) {
    const CalendarTime& utc = reading.utc;
    return sentence(settings.talker + "ZDA," + timeField(reading, settings) + "," +
                    twoDigits(utc.day) + "," + twoDigits(utc.month + 1) + "," +
                    yearField(utc.year) + "," + zoneFields(reading.utcOffsetSeconds));
}

std::string transmittedText(std::initializer_list<std::string> sentences) {
    std::string text = "Transmitted NMEA";
    for (const std::string& one : sentences) {
        text.append(" \"").append(one, 0, one.size() - 2).append("\"");
    }
    return text;
}

std::unique_ptr<FormatDecoder> makeDecoder() {
    return std::make_unique<NmeaDecoder>();
}

std::unique_ptr<FormatDecoder> makePairDecoder() {
    return std::make_unique<NmeaPairDecoder>();
}

}  // namespace chronvane::nmea

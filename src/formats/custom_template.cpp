#include "custom_template.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <utility>

#include "core/calendar_names.h"

namespace chronvane {
namespace {

using Kind = CustomTemplate::Kind;
using Piece = CustomTemplate::Piece;

struct NamedControl {
    std::string_view name;
    std::uint8_t byte;
};
constexpr std::array<NamedControl, 10> namedControls{{{"soh", 0x01},
                                                      {"stx", 0x02},
                                                      {"etx", 0x03},
                                                      {"eot", 0x04},
                                                      {"enq", 0x05},
                                                      {"ack", 0x06},
                                                      {"dle", 0x10},
                                                      {"nak", 0x15},
                                                      {"syn", 0x16},
                                                      {"etb", 0x17}}};

struct SimpleToken {
    char letter;
    Kind kind;
    std::size_t width;
};
constexpr std::array<SimpleToken, 15> simpleTokens{{{'Y', Kind::year4, 4},
                                                    {'y', Kind::year2, 2},
                                                    {'m', Kind::month, 2},
                                                    {'d', Kind::day, 2},
                                                    {'j', Kind::dayOfYear, 3},
                                                    {'u', Kind::isoWeekday, 1},
                                                    {'w', Kind::weekday, 1},
                                                    {'a', Kind::weekdayName, 3},
                                                    {'b', Kind::monthName, 3},
                                                    {'H', Kind::hour, 2},
                                                    {'M', Kind::minute, 2},
                                                    {'S', Kind::second, 2},
                                                    {'f', Kind::millis, 3},
                                                    {'z', Kind::zoneOffset, 5},
                                                    {'x', Kind::checksum, 2}}};

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

class Compiler {
  public:
    Compiler(std::string_view text, const LineSettings& line) : m_text(text), m_line(line) {
        m_result->text = std::string(text);
    }

    CompiledTemplate run() {
        if (m_text.empty()) {
            return fail(0, "the template is empty");
        }
        while (m_pos < m_text.size() && m_problem.what.empty()) {
            const char c = m_text[m_pos];
            if (c == '\\') {
                escape();
            } else if (c == '%') {
                token();
            } else {
                literal(static_cast<std::uint8_t>(c));
                ++m_pos;
            }
        }
        if (!m_problem.what.empty()) {
            return {nullptr, m_problem};
        }
        if (m_onTimeMark) {
            return fail(*m_onTimeMark, "%^ marks no character after it");
        }
        if (m_spanOpen && !m_result->spanEnd) {
            return fail(*m_spanOpen, "the checksum span %[ is never closed with %]");
        }
        if (m_result->spanEnd && !m_checksumSeen) {
            return fail(*m_spanClose, "a checksum span without %x to put its checksum in");
        }
        return {std::move(m_result), {}};
    }

  private:
    CompiledTemplate fail(std::size_t pos, std::string what) {
        m_problem = {pos + 1, std::move(what)};
        return {nullptr, m_problem};
    }
    void problem(std::size_t pos, std::string what) {
        if (m_problem.what.empty()) {
            m_problem = {pos + 1, std::move(what)};
        }
    }

    // Adds width bytes to the message, refusing a message that no longer fits in
    // its second; and places a pending on-time mark on its first byte.
    bool grow(std::size_t width, std::size_t pos) {
        const long long bitsPerByte = 1 + m_line.dataBits + (m_line.parity == Parity::None ? 0 : 1) +
                                      (m_line.stopBits == StopBits::One ? 1 : 2);
        const long long bits = bitsPerByte * static_cast<long long>(m_result->length + width);
        if (bits >= m_line.baudRate) {
            problem(pos, "the message no longer fits in its second at " +
                             std::to_string(m_line.baudRate) + " baud " + framingText(m_line));
            return false;
        }
        if (m_onTimeMark) {
            m_result->onTimeAt = m_result->length;
            m_onTimeMark.reset();
        }
        m_result->length += width;
        return true;
    }

    void literal(std::uint8_t byte) {
        if (!grow(1, m_pos)) {
            return;
        }
        std::vector<Piece>& pieces = m_result->pieces;
        if (pieces.empty() || pieces.back().kind != Kind::literal) {
            pieces.push_back({Kind::literal, m_utc, {}, {}, m_result->length - 1});
        }
        pieces.back().bytes.push_back(byte);
    }

    // One byte written as an escape at text[pos] ('\\'); the position after it, or
    // npos with the problem set.
    std::optional<std::uint8_t> escapeAt(std::string_view text, std::size_t& pos,
                                         std::size_t columnBase) {
        const std::size_t start = pos;
        if (pos + 1 >= text.size()) {
            problem(columnBase + start, "a lone \\ at the end");
            return std::nullopt;
        }
        const char c = text[pos + 1];
        pos += 2;
        switch (c) {
            case 'r':
                return std::uint8_t{0x0D};
            case 'n':
                return std::uint8_t{0x0A};
            case 't':
                return std::uint8_t{0x09};
            case '\\':
                return std::uint8_t{'\\'};
            case 'x':
                if (pos + 2 <= text.size() && isHex(text[pos]) &&
                    isHex(text[pos + 1])) {
                    const auto byte =
                        static_cast<std::uint8_t>(hexValue(text[pos]) * 16 + hexValue(text[pos + 1]));
                    pos += 2;
                    return byte;
                }
                problem(columnBase + start, "\\x needs two hex digits");
                return std::nullopt;
            default:
                break;
        }
        for (const NamedControl& named : namedControls) {
            if (text.substr(start + 1, named.name.size()) == named.name) {
                pos = start + 1 + named.name.size();
                return named.byte;
            }
        }
        problem(columnBase + start, std::string("unknown escape \\") + c);
        return std::nullopt;
    }

    void escape() {
        const std::size_t start = m_pos;
        if (const std::optional<std::uint8_t> byte = escapeAt(m_text, m_pos, 0)) {
            const std::size_t after = m_pos;
            m_pos = start;
            literal(*byte);
            m_pos = after;
        }
    }

    void field(Kind kind, std::size_t width, ByteString glyphs = {},
               std::vector<std::int64_t> thresholds = {}) {
        if (!grow(width, m_pos)) {
            return;
        }
        m_result->pieces.push_back(
            {kind, m_utc, std::move(glyphs), std::move(thresholds), m_result->length - width});
    }

    void token() {
        const std::size_t start = m_pos;
        if (start + 1 >= m_text.size()) {
            problem(start, "a lone % at the end");
            return;
        }
        const char c = m_text[start + 1];
        m_pos += 2;
        if (c == '%') {
            m_pos = start;
            literal('%');
            m_pos = start + 2;
            return;
        }
        if (c == 'Z') {
            m_utc = true;
            return;
        }
        if (c == '^') {
            if (m_onTimeSeen) {
                problem(start, "a second %^: only one character is on time");
            }
            m_onTimeSeen = true;
            m_onTimeMark = start;
            return;
        }
        if (c == '[') {
            if (m_spanOpen) {
                problem(start, "a second checksum span: only one is allowed");
            }
            m_spanOpen = start;
            m_result->spanBegin = m_result->length;
            return;
        }
        if (c == ']') {
            if (!m_spanOpen || m_result->spanEnd) {
                problem(start, "%] without an open %[");
            }
            m_spanClose = start;
            m_result->spanEnd = m_result->length;
            return;
        }
        if (c == '{') {
            braced(start);
            return;
        }
        for (const SimpleToken& simple : simpleTokens) {
            if (simple.letter != c) {
                continue;
            }
            if (simple.kind == Kind::checksum) {
                if (!m_result->spanEnd || m_checksumSeen) {
                    problem(start, "%x comes once, after a checksum span %[ ... %]");
                    return;
                }
                m_checksumSeen = true;
            }
            m_pos = start;
            field(simple.kind, simple.width);
            m_pos = start + 2;
            return;
        }
        problem(start, std::string("unknown token %") + c);
    }

    // The glyphs of a list, one byte each, escapes allowed.
    std::optional<ByteString> glyphs(std::string_view list, std::size_t at) {
        ByteString bytes;
        for (std::size_t i = 0; i < list.size();) {
            if (list[i] == '\\') {
                const std::optional<std::uint8_t> byte = escapeAt(list, i, at);
                if (!byte) {
                    return std::nullopt;
                }
                bytes.push_back(*byte);
            } else {
                bytes.push_back(static_cast<std::uint8_t>(list[i]));
                ++i;
            }
        }
        return bytes;
    }

    std::optional<std::int64_t> threshold(std::string_view text, std::size_t at) {
        const std::string_view item = trimmed(text);
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
        const std::string_view unit = item.substr(static_cast<std::size_t>(end - item.data()));
        const std::int64_t scale = unit == "us" ? 1 : unit == "ms" ? 1000 : unit == "s" ? 1'000'000 : 0;
        if (error != std::errc{} || end == item.data() || scale == 0 || value < 0) {
            problem(at, "a threshold is a number with us, ms or s, for example 10ms");
            return std::nullopt;
        }
        return value * scale;
    }

    void braced(std::size_t start) {
        const std::size_t close = m_text.find('}', start);
        if (close == std::string_view::npos) {
            problem(start, "%{ without its closing }");
            return;
        }
        const std::string_view inside = m_text.substr(start + 2, close - start - 2);
        const std::size_t colon = inside.find(':');
        const std::string_view name = trimmed(inside.substr(0, colon));
        const std::size_t argsAt = start + 2 + (colon == std::string_view::npos ? inside.size() : colon + 1);
        const std::string_view args =
            colon == std::string_view::npos ? std::string_view{} : inside.substr(colon + 1);
        m_pos = close + 1;
        auto glyphList = [&](std::string_view list, std::size_t listAt,
                             std::initializer_list<std::size_t> counts,
                             std::string_view expected) -> std::optional<ByteString> {
            std::optional<ByteString> bytes = glyphs(trimmed(list), listAt + list.find_first_not_of(' '));
            if (!bytes) {
                return std::nullopt;
            }
            if (std::find(counts.begin(), counts.end(), bytes->size()) == counts.end()) {
                problem(start, "%{" + std::string(name) + ":...} takes " + std::string(expected));
                return std::nullopt;
            }
            return bytes;
        };
        const std::size_t resume = m_pos;
        m_pos = start;
        if (name == "lock") {
            if (auto bytes = glyphList(args, argsAt, {2}, "two glyphs, synchronised and not")) {
                field(Kind::lock, 1, std::move(*bytes));
            }
        } else if (name == "dst") {
            if (auto bytes = glyphList(args, argsAt, {2, 4},
                                       "two glyphs (standard, summer) or four (and each with a "
                                       "change announced)")) {
                field(Kind::dst, 1, std::move(*bytes));
            }
        } else if (name == "leap") {
            if (auto bytes = glyphList(args, argsAt, {2, 3},
                                       "two glyphs (none, announced) or three (none, insert, "
                                       "delete)")) {
                field(Kind::leap, 1, std::move(*bytes));
            }
        } else if (name == "quality") {
            const std::size_t split = args.rfind(':');
            if (split == std::string_view::npos) {
                problem(start, "%{quality:T1,T2,...:GLYPHS} needs thresholds and glyphs");
            } else {
                std::vector<std::int64_t> thresholds;
                const std::string_view list = args.substr(0, split);
                for (std::size_t from = 0; m_problem.what.empty();) {
                    const std::size_t comma = std::min(list.find(',', from), list.size());
                    if (auto t = threshold(list.substr(from, comma - from), argsAt + from)) {
                        if (!thresholds.empty() && *t <= thresholds.back()) {
                            problem(argsAt + from, "thresholds go from the smallest up");
                        }
                        thresholds.push_back(*t);
                    }
                    if (comma >= list.size()) {
                        break;
                    }
                    from = comma + 1;
                }
                if (m_problem.what.empty()) {
                    const std::size_t count = thresholds.size() + 1;
                    if (auto bytes = glyphList(args.substr(split + 1), argsAt + split + 1, {count},
                                               std::to_string(count) +
                                                   " glyphs, one more than thresholds")) {
                        field(Kind::quality, 1, std::move(*bytes), std::move(thresholds));
                    }
                }
            }
        } else {
            problem(start, "unknown token %{" + std::string(name) + "}");
        }
        m_pos = resume;
    }

    std::string_view m_text;
    LineSettings m_line;
    std::shared_ptr<CustomTemplate> m_result = std::make_shared<CustomTemplate>();
    TemplateProblem m_problem;
    std::size_t m_pos = 0;
    bool m_utc = false;
    bool m_onTimeSeen = false;
    std::optional<std::size_t> m_onTimeMark;
    std::optional<std::size_t> m_spanOpen;
    std::optional<std::size_t> m_spanClose;
    bool m_checksumSeen = false;
};

void appendNumber(ByteString& out, long long value, std::size_t width) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%0*lld", static_cast<int>(width), value);
    const std::string_view text(digits);
    // The last digits only: the width is fixed whatever the value.
    const std::string_view kept = text.substr(text.size() > width ? text.size() - width : 0);
    out.insert(out.end(), kept.begin(), kept.end());
}

int dayOfYear(const CalendarTime& time) {
    constexpr std::array<int, 12> before{0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const bool leapYear = (time.year % 4 == 0 && time.year % 100 != 0) || time.year % 400 == 0;
    const int month = std::clamp(time.month, 0, 11);
    return before[static_cast<std::size_t>(month)] + time.day + (leapYear && month > 1 ? 1 : 0);
}

void appendName(ByteString& out, std::string_view name) {
    const std::string_view three = name.substr(0, 3);
    out.insert(out.end(), three.begin(), three.end());
    out.resize(out.size() + (3 - three.size()), '?');
}

std::uint8_t glyphFor(const Piece& piece, const TimeReading& reading) {
    const ByteString& glyphs = piece.bytes;
    const bool synchronised = reading.trust == TimeReading::Trust::Synchronised;
    switch (piece.kind) {
        case Kind::lock:
            return glyphs[synchronised ? 0 : 1];
        case Kind::quality: {
            if (synchronised) {
                for (std::size_t i = 0; i < piece.thresholdsMicros.size(); ++i) {
                    if (reading.maxErrorMicros <= piece.thresholdsMicros[i]) {
                        return glyphs[i];
                    }
                }
            }
            return glyphs.back();
        }
        case Kind::dst: {
            std::size_t index = reading.daylightSaving ? 1 : 0;
            if (glyphs.size() == 4 && reading.nextOffsetChange) {
                index += 2;
            }
            return glyphs[index];
        }
        case Kind::leap:
            if (reading.leap == TimeReading::Leap::None) {
                return glyphs[0];
            }
            return glyphs.size() == 3 && reading.leap == TimeReading::Leap::Delete ? glyphs[2]
                                                                                   : glyphs[1];
        default:
            return '?';
    }
}

}  // namespace

CompiledTemplate compileTemplate(std::string_view text, const LineSettings& line) {
    return Compiler(text, line).run();
}

ByteString CustomTemplate::build(const TimeReading& reading) const {
    ByteString out;
    out.reserve(length);
    std::optional<std::size_t> checksumAt;
    for (const Piece& piece : pieces) {
        const CalendarTime time = piece.utc ? reading.utc : reading.local();
        switch (piece.kind) {
            case Kind::literal:
                out.insert(out.end(), piece.bytes.begin(), piece.bytes.end());
                break;
            case Kind::year4:
                appendNumber(out, time.year, 4);
                break;
            case Kind::year2:
                appendNumber(out, time.year % 100, 2);
                break;
            case Kind::month:
                appendNumber(out, time.month + 1, 2);
                break;
            case Kind::day:
                appendNumber(out, time.day, 2);
                break;
            case Kind::dayOfYear:
                appendNumber(out, dayOfYear(time), 3);
                break;
            case Kind::isoWeekday:
                appendNumber(out, time.weekday == 0 ? 7 : time.weekday, 1);
                break;
            case Kind::weekday:
                appendNumber(out, time.weekday, 1);
                break;
            case Kind::weekdayName:
                appendName(out, time.weekday >= 0 && time.weekday < 7
                                    ? weekdayNames[static_cast<std::size_t>(time.weekday)]
                                    : "");
                break;
            case Kind::monthName:
                appendName(out, time.month >= 0 && time.month < 12
                                    ? monthNames[static_cast<std::size_t>(time.month)]
                                    : "");
                break;
            case Kind::hour:
                appendNumber(out, time.hour, 2);
                break;
            case Kind::minute:
                appendNumber(out, time.minute, 2);
                break;
            case Kind::second:
                appendNumber(out, time.second, 2);
                break;
            case Kind::millis:
                appendNumber(out, 0, 3);
                break;
            case Kind::zoneOffset: {
                const int offset = piece.utc ? 0 : reading.utcOffsetSeconds;
                const int minutes = (offset < 0 ? -offset : offset) / 60;
                out.push_back(offset < 0 ? '-' : '+');
                appendNumber(out, (minutes / 60) * 100 + minutes % 60, 4);
                break;
            }
            case Kind::checksum:
                checksumAt = out.size();
                out.insert(out.end(), 2, '0');
                break;
            case Kind::lock:
            case Kind::quality:
            case Kind::dst:
            case Kind::leap:
                out.push_back(glyphFor(piece, reading));
                break;
        }
    }
    if (checksumAt && spanBegin && spanEnd) {
        std::uint8_t sum = 0;
        for (std::size_t i = *spanBegin; i < *spanEnd; ++i) {
            sum ^= out[i];
        }
        constexpr std::string_view hex = "0123456789ABCDEF";
        out[*checksumAt] = static_cast<std::uint8_t>(hex[sum >> 4]);
        out[*checksumAt + 1] = static_cast<std::uint8_t>(hex[sum & 0x0F]);
    }
    return out;
}

std::string CustomTemplate::logText(const TimeReading& reading) const {
    ByteString bytes = build(reading);
    // The line's own ending is left out, as the other formats' log lines leave it.
    while (!bytes.empty() && (bytes.back() == '\r' || bytes.back() == '\n')) {
        bytes.pop_back();
    }
    return escapedText(bytes);
}

std::string escapedText(const ByteString& bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        if (byte == '\r') {
            text += "\\r";
        } else if (byte == '\n') {
            text += "\\n";
        } else if (byte == '\\') {
            text += "\\\\";
        } else if (byte < 0x20 || byte >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            text += hex;
        } else {
            text.push_back(static_cast<char>(byte));
        }
    }
    return text;
}

Parsed<FormatChoice> parseCustomFormat(std::string_view text, const LineSettings& line) {
    CompiledTemplate compiled = compileTemplate(text, line);
    if (!compiled.value) {
        return {std::nullopt, templateProblemText(text, compiled.problem)};
    }
    return {FormatChoice{Protocol::Custom, FormatSettings{.custom = std::move(compiled.value)}}, {}};
}

std::string templateProblemText(std::string_view text, const TemplateProblem& problem) {
    constexpr std::string_view prefix = "custom:";
    std::string out = "--format " + std::string(prefix) + std::string(text) + ": " + problem.what +
                      " at column " + std::to_string(problem.column) + "\n  " +
                      std::string(prefix) + std::string(text) + "\n  ";
    out.append(prefix.size() + (problem.column > 0 ? problem.column - 1 : 0), ' ');
    out.push_back('^');
    return out;
}

}  // namespace chronvane

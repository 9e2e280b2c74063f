// Custom: the operator's own template (--format 'custom:TEXT', see
// custom_template.h), sent as compiled at start. The monitor decodes it only when
// told the same template: without it, any text could be one.

#include <algorithm>
#include <memory>
#include <utility>

#include "custom_template.h"
#include "decoded_message.h"
#include "time_format.h"

namespace chronvane {
namespace {

using Kind = CustomTemplate::Kind;
using Piece = CustomTemplate::Piece;

std::size_t length(const FormatSettings& settings) {
    return settings.custom ? settings.custom->length : 0;
}

ByteString build(const TimeReading& time, const FormatSettings& settings) {
    return settings.custom ? settings.custom->build(time) : ByteString{};
}

std::string transmittedText(const TimeReading& time, const FormatSettings& settings) {
    return "Transmitted custom message \"" +
           (settings.custom ? settings.custom->logText(time) : std::string()) + "\"";
}

std::size_t widthOf(const CustomTemplate& custom, std::size_t piece) {
    const std::size_t next =
        piece + 1 < custom.pieces.size() ? custom.pieces[piece + 1].at : custom.length;
    return next - custom.pieces[piece].at;
}

bool isDigit(std::uint8_t byte) {
    return byte >= '0' && byte <= '9';
}

bool isUpperHex(std::uint8_t byte) {
    return isDigit(byte) || (byte >= 'A' && byte <= 'F');
}

// Whether byte may stand at offset i of piece.
bool fits(const Piece& piece, std::size_t i, std::uint8_t byte) {
    switch (piece.kind) {
        case Kind::literal:
            return piece.bytes[i] == byte;
        case Kind::weekdayName:
        case Kind::monthName:
            return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
        case Kind::zoneOffset:
            return i == 0 ? byte == '+' || byte == '-' : isDigit(byte);
        case Kind::checksum:
            return isUpperHex(byte);
        case Kind::lock:
        case Kind::quality:
        case Kind::dst:
        case Kind::leap:
            return std::find(piece.bytes.begin(), piece.bytes.end(), byte) != piece.bytes.end();
        default:
            return isDigit(byte);
    }
}

std::optional<int> number(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t width) {
    if (at + width > bytes.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = at; i < at + width; ++i) {
        value = value * 10 + (bytes[i] - '0');
    }
    return value;
}

int hexValue(std::uint8_t byte) {
    return isDigit(byte) ? byte - '0' : byte - 'A' + 10;
}

// Matches the one template it was made with. Fields are read from the local
// pieces; a template whose time of day is all in UTC (after %Z) is read as UTC.
class CustomDecoder final : public FormatDecoder {
  public:
    explicit CustomDecoder(std::shared_ptr<const CustomTemplate> custom)
        : m_custom(std::move(custom)),
          m_hasLocal(m_custom && std::any_of(m_custom->pieces.begin(), m_custom->pieces.end(),
                                             [](const Piece& p) {
                                                 return !p.utc && (p.kind == Kind::hour ||
                                                                   p.kind == Kind::minute ||
                                                                   p.kind == Kind::second);
                                             })) {}

    UnitMatch match(std::span<const std::uint8_t> bytes, const StreamLookahead&) const override {
        if (!m_custom || m_custom->length == 0) {
            return {Match::broken, 0};
        }
        const std::size_t limit = std::min(bytes.size(), m_custom->length);
        std::size_t piece = 0;
        for (std::size_t i = 0; i < limit; ++i) {
            while (piece + 1 < m_custom->pieces.size() && m_custom->pieces[piece + 1].at <= i) {
                ++piece;
            }
            const Piece& p = m_custom->pieces[piece];
            if (!fits(p, i - p.at, bytes[i])) {
                return {Match::broken, i};
            }
        }
        return {limit == m_custom->length ? Match::complete : Match::partial, limit};
    }
    bool startsStream(std::span<const std::uint8_t>) const override { return true; }
    void take(std::span<const std::uint8_t> unit, Timestamp firstByte,
              std::vector<DecodedMessage>& out) override {
        out.push_back(decode(unit, firstByte, true));
    }
    void cutShort(std::span<const std::uint8_t> part, Timestamp firstByte,
                  std::vector<DecodedMessage>& out) override {
        DecodedMessage message = decode(part, firstByte, false);
        message.add(Fault::cutShort);
        out.push_back(std::move(message));
    }
    void close(std::vector<DecodedMessage>&) override {}
    void drop() override {}

  private:
    DecodedMessage decode(std::span<const std::uint8_t> bytes, Timestamp firstByte,
                          bool whole) const {
        DecodedMessage message;
        message.firstByte = firstByte;
        message.utc = !m_hasLocal;
        const CustomTemplate& custom = *m_custom;
        for (std::size_t i = 0; i < custom.pieces.size(); ++i) {
            const Piece& piece = custom.pieces[i];
            const std::size_t width = widthOf(custom, i);
            if (piece.at + width > bytes.size()) {
                break;
            }
            const std::optional<int> value = number(bytes, piece.at, width);
            const std::uint8_t glyph = bytes[piece.at];
            const auto index = static_cast<std::size_t>(
                std::find(piece.bytes.begin(), piece.bytes.end(), glyph) - piece.bytes.begin());
            switch (piece.kind) {
                case Kind::hour:
                    readField(message.hour, value, piece.utc);
                    break;
                case Kind::minute:
                    readField(message.minute, value, piece.utc);
                    break;
                case Kind::second:
                    readField(message.second, value, piece.utc);
                    break;
                case Kind::month:
                    readField(message.month, value, piece.utc);
                    break;
                case Kind::day:
                    readField(message.day, value, piece.utc);
                    break;
                case Kind::lock:
                    message.claimsSync = index == 0;
                    message.status.emplace_back(index == 0 ? "synchronised" : "not synchronised");
                    break;
                case Kind::quality:
                    message.status.push_back("quality " + std::string(1, static_cast<char>(glyph)));
                    break;
                case Kind::dst:
                    message.status.emplace_back(index % 2 == 0 ? "standard time" : "summer time");
                    if (index >= 2) {
                        message.status.emplace_back("change of offset announced");
                    }
                    break;
                case Kind::leap:
                    if (index > 0) {
                        message.status.emplace_back(piece.bytes.size() == 2 ? "leap second announced"
                                                    : index == 1 ? "leap second to insert"
                                                                 : "leap second to delete");
                    }
                    break;
                case Kind::checksum:
                    if (whole && custom.spanBegin && custom.spanEnd) {
                        std::uint8_t sum = 0;
                        for (std::size_t b = *custom.spanBegin; b < *custom.spanEnd; ++b) {
                            sum ^= bytes[b];
                        }
                        if (hexValue(bytes[piece.at]) * 16 + hexValue(bytes[piece.at + 1]) != sum) {
                            message.add(Fault::badChecksum);
                        }
                    }
                    break;
                default:
                    break;
            }
        }
        return message;
    }

    // A local field wins over the same field in UTC.
    void readField(std::optional<int>& field, const std::optional<int>& value, bool utc) const {
        if (!utc || !field) {
            if (!utc || !m_hasLocal) {
                field = value;
            }
        }
    }

    std::shared_ptr<const CustomTemplate> m_custom;
    // The template has a time-of-day field in local time.
    bool m_hasLocal;
};

std::unique_ptr<FormatDecoder> makeDecoder() {
    return std::make_unique<CustomDecoder>(nullptr);
}

}  // namespace

// Through the registry's makeDecoder, with the template the monitor was given.
std::unique_ptr<FormatDecoder> makeCustomDecoder(std::shared_ptr<const CustomTemplate> custom) {
    return std::make_unique<CustomDecoder>(std::move(custom));
}

// Listed in format_registry.cpp.
extern const TimeFormat customFormat;
constexpr TimeFormat customFormat{
    .names = {"Custom", "", "custom", "custom", "custom:TEXT"},
    // Where the template marks it; onTimeIndex reads the template.
    .onTimeAt = 0,
    .example = "343 14:05:09<CR> from custom:%j %H:%M:%S\\r",
    // A template may ask for any of them.
    .needsUtc = true,
    .needsYear = true,
    .needsZone = true,
    // Receivers of a layout of their own seldom take second 60.
    .carriesLeapSecond = false,
    .length = length,
    .build = build,
    .transmittedText = transmittedText,
    .makeDecoder = makeDecoder,
};
static_assert(complete(customFormat));

}  // namespace chronvane

#include "stream_decoder.h"

#include <algorithm>
#include <utility>

#include "formats/custom_template.h"


namespace chronvane::monitor {
namespace {

// Fewer matching bytes than this are noise, not the remains of a message: "HH:" or
// F5 00 00 rarely occur by chance.
constexpr std::size_t cutShortThreshold = 3;
constexpr int secondsPerDay = 24 * 60 * 60;
constexpr std::size_t noFormat = static_cast<std::size_t>(-1);

bool inRange(const std::optional<int>& value, int low, int high) {
    return !value || (*value >= low && *value <= high);
}

}  // namespace

// The stream from one candidate's first byte on, as a format's decoder sees it.
class StreamDecoder::Ahead final : public StreamLookahead {
  public:
    Ahead(const StreamDecoder& decoder, std::size_t pos) : m_decoder(decoder), m_pos(pos) {}
    Match matchAt(std::size_t offset) const override {
        return m_decoder.matchAt(m_pos + offset).match;
    }

  private:
    const StreamDecoder& m_decoder;
    std::size_t m_pos;
};

StreamDecoder::StreamDecoder(std::chrono::milliseconds gapLimit, UtcOffset utcOffset,
                             std::optional<FormatChoice> only)
    : m_gapLimit(gapLimit), m_utcOffset(std::move(utcOffset)) {
    if (only) {
        m_settings = only->settings;
        m_formats.push_back(makeDecoder(only->protocol, m_settings));
        m_protocols.push_back(only->protocol);
        return;
    }
    for (const Protocol protocol : allProtocols) {
        m_formats.push_back(makeDecoder(protocol));
        m_protocols.push_back(protocol);
    }
}

// Every format is asked, so that the outcome does not depend on the rows' order
// where several can start with the same byte: a whole unit wins unless another
// format's unit, as long so far, is still arriving (then wait, unless forced); the
// longest whole unit wins, and of equals the first row. Forced, a longer unit
// that stopped wins over a whole one it holds, as that unit cut short. Of broken ones, the one
// that matched longest stands for the bytes.
StreamDecoder::Candidate StreamDecoder::matchAt(std::size_t pos, bool force) const {
    const std::span<const std::uint8_t> bytes(m_bytes.data() + pos, m_bytes.size() - pos);
    if (bytes.empty()) {
        return {Match::partial, 0, noFormat};
    }
    const Ahead ahead(*this, pos);
    std::optional<Candidate> complete;
    std::optional<Candidate> partial;
    Candidate broken{Match::broken, 0, noFormat};
    for (std::size_t format = 0; format < m_formats.size(); ++format) {
        const UnitMatch unit = m_formats[format]->match(bytes, ahead);
        const Candidate candidate{unit.match, unit.length, format};
        if (unit.match == Match::complete) {
            if (!complete || unit.length > complete->length) {
                complete = candidate;
            }
        } else if (unit.match == Match::partial) {
            if (!partial || unit.length > partial->length) {
                partial = candidate;
            }
        } else if (unit.length > broken.length) {
            broken = candidate;
        }
    }
    // Once the gap has passed (forced), a longer unit still arriving has stopped:
    // it is the message cut short, not the shorter whole one inside it.
    if (complete && (!partial || partial->length < complete->length ||
                     (force && partial->length == complete->length))) {
        return *complete;
    }
    if (partial) {
        return *partial;
    }
    return broken;
}

void StreamDecoder::scan(bool force, std::vector<DecodedMessage>& out) {
    while (m_start < m_bytes.size()) {
        const Candidate candidate = matchAt(m_start, force);
        if (candidate.match == Match::complete) {
            take(candidate.format, candidate.length, out);
            consume(candidate.length);
            continue;
        }
        if (candidate.match == Match::partial) {
            if (!force) {
                return;
            }
            cutShort(candidate.format, candidate.length, out);
            consume(candidate.length);
            continue;
        }
        if (candidate.length == 0) {
            stray(1);
            consume(1);
            continue;
        }
        // Broken after some matching bytes: the next message may begin anywhere up
        // to and including the byte that broke the pattern.
        std::size_t next = 1;
        Match nextMatch = Match::broken;
        while (next <= candidate.length) {
            nextMatch = matchAt(m_start + next).match;
            if (nextMatch != Match::broken) {
                break;
            }
            ++next;
        }
        // A possible start whose bytes are not all in yet: wait for them, so that the
        // outcome does not depend on where the reads happened to cut the stream.
        if (nextMatch == Match::partial && !force) {
            return;
        }
        const std::size_t kept = std::min(next, candidate.length);
        cutShort(candidate.format, kept, out);
        consume(kept);
        if (next > candidate.length) {
            stray(1);
            consume(1);
        }
    }
}

void StreamDecoder::consume(std::size_t count) {
    m_start = std::min(m_start + count, m_bytes.size());
}

// A damaged byte is the fault of the message it is part of, or for a stray one, of
// the next message.
void StreamDecoder::noteDamage(std::size_t count) {
    for (std::size_t i = m_start; i < m_start + count && i < m_badBytes.size(); ++i) {
        m_lineErrorPending = m_lineErrorPending || m_badBytes[i];
    }
}

void StreamDecoder::stray(std::size_t count) {
    noteDamage(count);
    if (m_synchronized) {
        m_strayBytes += count;
    } else {
        m_bytesBeforeFirst += count;
    }
}

void StreamDecoder::synchronize() {
    if (m_synchronized) {
        return;
    }
    m_synchronized = true;
    // What a reader that joined the line in the middle of a message can find before
    // the first whole one: the rest of the longest message, all but its first byte.
    // More than that before it is noise.
    const std::size_t longest =
        std::max(longestMessage(), m_settings.custom ? m_settings.custom->length : 0);
    const std::size_t joinedTailLimit = longest - 1;
    if (m_bytesBeforeFirst > joinedTailLimit) {
        m_strayBytes += m_bytesBeforeFirst;
    }
    m_bytesBeforeFirst = 0;
}

void StreamDecoder::cutShort(std::size_t format, std::size_t length,
                             std::vector<DecodedMessage>& out) {
    noteDamage(length);
    if (length < cutShortThreshold) {
        stray(length);
        return;
    }
    if (!m_synchronized) {
        m_bytesBeforeFirst += length;
        return;
    }
    closeOthers(format, out);
    std::vector<DecodedMessage> finished;
    m_formats[format]->cutShort(std::span(m_bytes.data() + m_start, length), m_stamps[m_start],
                                finished);
    emitAll(format, finished, out);
}

void StreamDecoder::take(std::size_t format, std::size_t length,
                         std::vector<DecodedMessage>& out) {
    const std::span<const std::uint8_t> unit(m_bytes.data() + m_start, length);
    noteDamage(length);
    if (!m_synchronized) {
        if (!m_formats[format]->startsStream(unit)) {
            m_bytesBeforeFirst += length;
            return;
        }
        synchronize();
    }
    closeOthers(format, out);
    std::vector<DecodedMessage> finished;
    m_formats[format]->take(unit, m_stamps[m_start], finished);
    emitAll(format, finished, out);
}

void StreamDecoder::closeOthers(std::size_t keep, std::vector<DecodedMessage>& out) {
    for (std::size_t format = 0; format < m_formats.size(); ++format) {
        if (format != keep) {
            std::vector<DecodedMessage> finished;
            m_formats[format]->close(finished);
            emitAll(format, finished, out);
        }
    }
}

void StreamDecoder::emitAll(std::size_t format, std::vector<DecodedMessage>& finished,
                            std::vector<DecodedMessage>& out) {
    for (DecodedMessage& message : finished) {
        // A decoder that serves several formats names the one it found.
        if (message.protocol == defaultProtocol) {
            message.protocol = m_protocols[format];
        }
        message.utc = message.utc || formatOf(message.protocol).carriesUtc;
        emit(std::move(message), out);
    }
}

void StreamDecoder::emit(DecodedMessage message, std::vector<DecodedMessage>& out) {
    if (m_lineErrorPending) {
        message.add(m_lineHasParity ? Fault::parityError : Fault::framingError);
        m_lineErrorPending = false;
    }
    if (message.claimsSync == true && m_ownClockSynchronised == false) {
        message.add(Fault::claimsSyncUnsynced);
    }
    if (m_strayBytes > 0) {
        message.strayBytes = m_strayBytes;
        message.add(Fault::strayBytes);
        m_strayBytes = 0;
    }
    if (!inRange(message.hour, 0, 23) || !inRange(message.minute, 0, 59) ||
        !inRange(message.second, 0, 59)) {
        message.add(Fault::valueOutOfRange);
    }
    // Consecutive messages must carry consecutive seconds; a message whose time is
    // incomplete or impossible breaks the chain instead of faulting the next one.
    if (message.hour && message.minute && message.second && !message.has(Fault::valueOutOfRange)) {
        const int secondOfDay = *message.hour * 3600 + *message.minute * 60 + *message.second;
        if (m_lastSecondOfDay) {
            // The zone's own change of offset moves the local time by as much.
            const long zoneJump = m_utcOffset && !message.utc
                                      ? m_utcOffset(message.firstByte) - m_utcOffset(m_lastFirstByte)
                                      : 0;
            const long next = (*m_lastSecondOfDay + 1 + zoneJump) % secondsPerDay;
            const long expected = next < 0 ? next + secondsPerDay : next;
            if (secondOfDay != expected) {
                // Not after the last one sent (within half a day): seconds sent
                // already come again, as after the sender's clock was set back;
                // else seconds were lost.
                long ahead = (secondOfDay - *m_lastSecondOfDay) % secondsPerDay;
                ahead = ahead > secondsPerDay / 2    ? ahead - secondsPerDay
                        : ahead <= -secondsPerDay / 2 ? ahead + secondsPerDay
                                                      : ahead;
                message.add(ahead <= 0 ? Fault::secondRepeated : Fault::secondSkipped);
            }
        }
        m_lastSecondOfDay = secondOfDay;
        m_lastFirstByte = message.firstByte;
        if (m_judgeTimes) {
            judgeTime(message);
        }
    } else {
        m_lastSecondOfDay.reset();
    }
    out.push_back(std::move(message));
}

// The message's second is placed on the day of its arrival, or the day before or
// after, whichever is nearest: a message sent at 23:59:59.9 and read after
// midnight is late, not a day wrong.
void StreamDecoder::judgeTime(DecodedMessage& message) const {
    using std::chrono::milliseconds;
    constexpr long long msPerDay = 86'400'000;
    const long long offsetSeconds =
        m_utcOffset && !message.utc ? m_utcOffset(message.firstByte) : 0;
    const long long arrivalLocalMs =
        std::chrono::duration_cast<milliseconds>(message.firstByte +
                                                 onTimeDelay(message.protocol))
            .count() +
        offsetSeconds * 1000;
    const long long arrivalDay =
        std::chrono::floor<std::chrono::days>(milliseconds{arrivalLocalMs}).count();
    const long long carriedMs =
        (*message.hour * 3600LL + *message.minute * 60LL + *message.second) * 1000;
    long long offset = arrivalLocalMs - (arrivalDay * msPerDay + carriedMs);
    // The day the carried second belongs to.
    long long carriedDay = arrivalDay;
    if (offset > msPerDay / 2) {
        offset -= msPerDay;
        ++carriedDay;
    } else if (offset <= -msPerDay / 2) {
        offset += msPerDay;
        --carriedDay;
    }
    message.offsetMs = offset;
    constexpr long long minuteMs = 60'000;
    bool wrongDate = false;
    if (message.month && message.day) {
        // The date of the carried second, on the receiving machine's calendar.
        const std::chrono::sys_days days{std::chrono::days{carriedDay}};
        const std::chrono::year_month_day date{days};
        wrongDate = static_cast<unsigned>(date.month()) != static_cast<unsigned>(*message.month) ||
                    static_cast<unsigned>(date.day()) != static_cast<unsigned>(*message.day);
    }
    if (message.weekday) {
        // Sunday is 1 on the wire, 0 in C's encoding.
        const std::chrono::weekday weekday{std::chrono::sys_days{std::chrono::days{carriedDay}}};
        wrongDate = wrongDate || weekday.c_encoding() + 1 != static_cast<unsigned>(*message.weekday);
    }
    if (offset > minuteMs || offset < -minuteMs || wrongDate) {
        message.add(Fault::wrongTime);
    } else if (offset >= 1000) {
        message.add(Fault::late);
    } else if (offset < 0) {
        message.add(Fault::early);
    }
}

Timestamp StreamDecoder::onTimeDelay(Protocol protocol) const {
    const TimeFormat& format = formatOf(protocol);
    return leadTime(format, m_line.value_or(format.line),
                    protocol == Protocol::Custom ? m_settings : FormatSettings{});
}

// Takes the driver's marks out of bytes, noting which bytes they marked.
void StreamDecoder::unmark(std::span<const std::uint8_t> bytes, Timestamp arrival) {
    std::vector<std::uint8_t> input = std::move(m_pendingMark);
    m_pendingMark.clear();
    input.insert(input.end(), bytes.begin(), bytes.end());
    std::size_t i = 0;
    while (i < input.size()) {
        if (input[i] != 0xFF) {
            m_bytes.push_back(input[i]);
            m_badBytes.push_back(false);
            ++i;
        } else if (i + 1 >= input.size() || (input[i + 1] == 0x00 && i + 2 >= input.size())) {
            m_pendingMark.assign(input.begin() + static_cast<std::ptrdiff_t>(i), input.end());
            break;
        } else if (input[i + 1] == 0xFF) {
            m_bytes.push_back(0xFF);
            m_badBytes.push_back(false);
            i += 2;
        } else {
            // 0xFF 0x00 X: X arrived damaged.
            m_bytes.push_back(input[i + 2]);
            m_badBytes.push_back(true);
            i += 3;
        }
    }
    m_stamps.resize(m_bytes.size(), arrival);
}

void StreamDecoder::compact() {
    if (!m_badBytes.empty()) {
        m_badBytes.erase(m_badBytes.begin(),
                         m_badBytes.begin() +
                             static_cast<std::ptrdiff_t>(std::min(m_start, m_badBytes.size())));
    }
    m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(m_start));
    m_stamps.erase(m_stamps.begin(), m_stamps.begin() + static_cast<std::ptrdiff_t>(m_start));
    m_start = 0;
}

std::vector<DecodedMessage> StreamDecoder::feed(std::span<const std::uint8_t> bytes,
                                                Timestamp arrival) {
    std::vector<DecodedMessage> out;
    if (bytes.empty()) {
        return out;
    }
    if (m_lastArrival && arrival - *m_lastArrival > m_gapLimit) {
        scan(true, out);
        closeOthers(noFormat, out);
        compact();
    }
    if (m_marked) {
        unmark(bytes, arrival);
    } else {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        m_stamps.insert(m_stamps.end(), bytes.size(), arrival);
    }
    m_lastArrival = arrival;
    scan(false, out);
    compact();
    return out;
}

std::vector<DecodedMessage> StreamDecoder::idle(Timestamp now) {
    std::vector<DecodedMessage> out;
    if (m_lastArrival && now - *m_lastArrival > m_gapLimit) {
        scan(true, out);
        closeOthers(noFormat, out);
        compact();
    }
    return out;
}

std::size_t StreamDecoder::finish() {
    const std::size_t trailing = m_strayBytes;
    m_strayBytes = 0;
    m_bytes.clear();
    m_stamps.clear();
    m_badBytes.clear();
    m_pendingMark.clear();
    m_lineErrorPending = false;
    m_start = 0;
    for (const auto& format : m_formats) {
        format->drop();
    }
    return trailing;
}

}  // namespace chronvane::monitor

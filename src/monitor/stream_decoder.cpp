#include "stream_decoder.h"

#include <algorithm>
#include <utility>

#include "core/wire_format.h"

namespace chronvane::monitor {
namespace {

// Fewer matching bytes than this are noise, not the remains of a message: "HH:" or
// F5 00 00 rarely occur by chance.
constexpr std::size_t cutShortThreshold = 3;
constexpr int secondsPerDay = 24 * 60 * 60;
// What a reader that joined the line in the middle of a message can find before the
// first whole one: the rest of the longest message, all but its first byte. More
// than that before it is noise.
constexpr std::size_t joinedTailLimit = wire::packetLength * wire::packetCount - 1;

bool isDigit(std::uint8_t byte) {
    return byte >= '0' && byte <= '9';
}

// Whether byte may stand at offset i of an ESE message.
bool fitsEse(std::size_t i, std::uint8_t byte) {
    if (i == wire::eseFirstSeparatorAt || i == wire::eseSecondSeparatorAt) {
        return byte == wire::eseSeparator;
    }
    if (i >= wire::eseFirstSpaceAt && i < wire::eseFirstSpaceAt + wire::eseSpaceCount) {
        return byte == wire::eseSpace;
    }
    if (i == wire::eseTerminatorAt) {
        return byte == wire::eseTerminator;
    }
    return isDigit(byte);
}

std::optional<int> twoDigits(const std::uint8_t* bytes, std::size_t available, std::size_t at) {
    if (at + wire::eseDigitCount > available || !isDigit(bytes[at]) || !isDigit(bytes[at + 1])) {
        return std::nullopt;
    }
    return (bytes[at] - '0') * 10 + (bytes[at + 1] - '0');
}

void addFault(DecodedMessage& message, Fault fault) {
    if (!message.has(fault)) {
        message.faults.push_back(fault);
    }
}

bool inRange(const std::optional<int>& value, int low, int high) {
    return !value || (*value >= low && *value <= high);
}

}  // namespace

std::string_view faultText(Fault fault) {
    switch (fault) {
        case Fault::badChecksum:
            return "bad checksum";
        case Fault::unknownVariable:
            return "unknown variable";
        case Fault::valueOutOfRange:
            return "value out of range";
        case Fault::packetMissing:
            return "packet missing";
        case Fault::cutShort:
            return "message cut short";
        case Fault::secondSkipped:
            return "second skipped";
        case Fault::secondRepeated:
            return "second repeated";
        case Fault::strayBytes:
            return "stray bytes";
        case Fault::late:
            return "late";
        case Fault::early:
            return "early";
        case Fault::wrongTime:
            return "wrong time";
    }
    return "unknown fault";
}

bool DecodedMessage::has(Fault fault) const {
    return std::find(faults.begin(), faults.end(), fault) != faults.end();
}

StreamDecoder::StreamDecoder(std::chrono::milliseconds gapLimit, UtcOffset utcOffset)
    : m_gapLimit(gapLimit), m_utcOffset(std::move(utcOffset)) {}

StreamDecoder::Candidate StreamDecoder::matchAt(std::size_t pos) const {
    const std::size_t available = m_bytes.size() - pos;
    const std::uint8_t* bytes = m_bytes.data() + pos;
    if (available == 0) {
        return {Match::partial, 0, false};
    }
    if (isDigit(bytes[0])) {
        const std::size_t limit = std::min(available, wire::eseLength);
        for (std::size_t i = 0; i < limit; ++i) {
            if (!fitsEse(i, bytes[i])) {
                return {Match::broken, i, false};
            }
        }
        return {limit == wire::eseLength ? Match::complete : Match::partial, limit, false};
    }
    if (bytes[0] == wire::packetHeader[0]) {
        const std::size_t limit = std::min(available, wire::packetHeader.size());
        for (std::size_t i = 0; i < limit; ++i) {
            if (bytes[i] != wire::packetHeader[i]) {
                return {Match::broken, i, true};
            }
        }
        if (available < wire::packetLength) {
            return {Match::partial, available, true};
        }
        // A packet that stops early is followed straight away by the next header. A
        // known variable byte rules that out; otherwise look for the header inside.
        const std::uint8_t variable = bytes[wire::packetVariableAt];
        if (variable < wire::firstVariable || variable >= wire::firstVariable + wire::packetCount) {
            for (std::size_t i = wire::packetVariableAt; i < wire::packetLength; ++i) {
                if (bytes[i] != wire::packetHeader[0]) {
                    continue;
                }
                // Only a whole header decides; until then, how the stream was cut
                // into reads would change the outcome.
                const Match inner = matchAt(pos + i).match;
                if (inner == Match::complete) {
                    return {Match::broken, i, true};
                }
                if (inner == Match::partial) {
                    return {Match::partial, available, true};
                }
            }
        }
        return {Match::complete, wire::packetLength, true};
    }
    return {Match::broken, 0, false};
}

void StreamDecoder::scan(bool force, std::vector<DecodedMessage>& out) {
    while (m_start < m_bytes.size()) {
        const Candidate candidate = matchAt(m_start);
        if (candidate.match == Match::complete) {
            if (candidate.packet) {
                takePacket(m_start, out);
            } else {
                takeEse(m_start, out);
            }
            consume(candidate.length);
            continue;
        }
        if (candidate.match == Match::partial) {
            if (!force) {
                return;
            }
            cutShort(candidate.packet, candidate.length, out);
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
        cutShort(candidate.packet, kept, out);
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

void StreamDecoder::stray(std::size_t count) {
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
    if (m_bytesBeforeFirst > joinedTailLimit) {
        m_strayBytes += m_bytesBeforeFirst;
    }
    m_bytesBeforeFirst = 0;
}

void StreamDecoder::cutShort(bool packet, std::size_t length, std::vector<DecodedMessage>& out) {
    if (length < cutShortThreshold) {
        stray(length);
        return;
    }
    if (!m_synchronized) {
        m_bytesBeforeFirst += length;
        return;
    }
    if (packet) {
        if (!m_dateTime) {
            m_dateTime.emplace();
            m_dateTime->protocol = Protocol::OstrelDateTime;
            m_dateTime->firstByte = m_stamps[m_start];
            m_nextPacket = 0;
        }
        addFault(*m_dateTime, Fault::cutShort);
        ++m_nextPacket;
        if (m_nextPacket >= wire::packetCount) {
            closeDateTime(out);
        }
        return;
    }
    closeDateTime(out);
    const std::uint8_t* bytes = m_bytes.data() + m_start;
    DecodedMessage message;
    message.protocol = Protocol::EseRealTimeClock;
    message.firstByte = m_stamps[m_start];
    message.hour = twoDigits(bytes, length, wire::eseHourAt);
    message.minute = twoDigits(bytes, length, wire::eseMinuteAt);
    message.second = twoDigits(bytes, length, wire::eseSecondAt);
    addFault(message, Fault::cutShort);
    emit(std::move(message), out);
}

void StreamDecoder::takeEse(std::size_t pos, std::vector<DecodedMessage>& out) {
    closeDateTime(out);
    synchronize();
    const std::uint8_t* bytes = m_bytes.data() + pos;
    DecodedMessage message;
    message.protocol = Protocol::EseRealTimeClock;
    message.firstByte = m_stamps[pos];
    message.hour = twoDigits(bytes, wire::eseLength, wire::eseHourAt);
    message.minute = twoDigits(bytes, wire::eseLength, wire::eseMinuteAt);
    message.second = twoDigits(bytes, wire::eseLength, wire::eseSecondAt);
    emit(std::move(message), out);
}

void StreamDecoder::takePacket(std::size_t pos, std::vector<DecodedMessage>& out) {
    const std::uint8_t* bytes = m_bytes.data() + pos;
    const std::uint8_t variable = bytes[wire::packetVariableAt];
    const std::uint8_t value = bytes[wire::packetValueAt];
    const std::uint8_t checksum = bytes[wire::packetChecksumAt];
    const bool known =
        variable >= wire::firstVariable && variable < wire::firstVariable + wire::packetCount;
    const std::size_t slot = known ? std::size_t{variable} - wire::firstVariable : m_nextPacket;

    if (!m_synchronized) {
        // Joined mid-message: wait for the first month packet.
        if (!known || slot != 0) {
            m_bytesBeforeFirst += wire::packetLength;
            return;
        }
        synchronize();
    }
    // A packet from earlier in the order starts the next message.
    if (m_dateTime && known && slot < m_nextPacket) {
        closeDateTime(out);
    }
    if (!m_dateTime) {
        m_dateTime.emplace();
        m_dateTime->protocol = Protocol::OstrelDateTime;
        m_dateTime->firstByte = m_stamps[pos];
        m_nextPacket = 0;
    }
    DecodedMessage& message = *m_dateTime;
    if (!known) {
        addFault(message, Fault::unknownVariable);
    } else {
        if (slot > m_nextPacket) {
            addFault(message, Fault::packetMissing);
        }
        const wire::ValueRange range = wire::valueRanges[slot];
        if (value < range.low || value > range.high) {
            addFault(message, Fault::valueOutOfRange);
        }
        std::optional<int>* fields[] = {&message.month, &message.day,    &message.weekday,
                                        &message.hour,  &message.minute, &message.second};
        *fields[slot] = value;
    }
    if (checksum != wire::packetChecksum(variable, value)) {
        addFault(message, Fault::badChecksum);
    }
    m_nextPacket = slot + 1;
    if (m_nextPacket >= wire::packetCount) {
        closeDateTime(out);
    }
}

void StreamDecoder::closeDateTime(std::vector<DecodedMessage>& out) {
    if (!m_dateTime) {
        return;
    }
    DecodedMessage message = std::move(*m_dateTime);
    m_dateTime.reset();
    if (m_nextPacket < wire::packetCount) {
        addFault(message, Fault::packetMissing);
    }
    m_nextPacket = 0;
    emit(std::move(message), out);
}

void StreamDecoder::emit(DecodedMessage message, std::vector<DecodedMessage>& out) {
    if (m_strayBytes > 0) {
        message.strayBytes = m_strayBytes;
        addFault(message, Fault::strayBytes);
        m_strayBytes = 0;
    }
    if (!inRange(message.hour, 0, 23) || !inRange(message.minute, 0, 59) ||
        !inRange(message.second, 0, 59)) {
        addFault(message, Fault::valueOutOfRange);
    }
    // Consecutive messages must carry consecutive seconds; a message whose time is
    // incomplete or impossible breaks the chain instead of faulting the next one.
    if (message.hour && message.minute && message.second && !message.has(Fault::valueOutOfRange)) {
        const int secondOfDay = *message.hour * 3600 + *message.minute * 60 + *message.second;
        if (m_lastSecondOfDay) {
            // The zone's own change of offset moves the local time by as much.
            const long zoneJump =
                m_utcOffset ? m_utcOffset(message.firstByte) - m_utcOffset(m_lastFirstByte) : 0;
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
                addFault(message, ahead <= 0 ? Fault::secondRepeated : Fault::secondSkipped);
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
    const long long offsetSeconds = m_utcOffset ? m_utcOffset(message.firstByte) : 0;
    const long long arrivalLocalMs =
        std::chrono::duration_cast<milliseconds>(message.firstByte).count() +
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
        addFault(message, Fault::wrongTime);
    } else if (offset >= 1000) {
        addFault(message, Fault::late);
    } else if (offset < 0) {
        addFault(message, Fault::early);
    }
}

void StreamDecoder::compact() {
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
        closeDateTime(out);
        compact();
    }
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    m_stamps.insert(m_stamps.end(), bytes.size(), arrival);
    m_lastArrival = arrival;
    scan(false, out);
    compact();
    return out;
}

std::vector<DecodedMessage> StreamDecoder::idle(Timestamp now) {
    std::vector<DecodedMessage> out;
    if (m_lastArrival && now - *m_lastArrival > m_gapLimit) {
        scan(true, out);
        closeDateTime(out);
        compact();
    }
    return out;
}

std::size_t StreamDecoder::finish() {
    const std::size_t trailing = m_strayBytes;
    m_strayBytes = 0;
    m_bytes.clear();
    m_stamps.clear();
    m_start = 0;
    m_dateTime.reset();
    m_nextPacket = 0;
    return trailing;
}

}  // namespace chronvane::monitor

#include "clock_controller.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "formats/clock_text.h"
#include "formats/format_registry.h"

namespace chronvane {
namespace {

std::string openedText(const std::string& name) {
    return name + " opened successfully.";
}
std::string notOpenedText(const std::string& name) {
    return name + " could not be opened.";
}

// The second (as Clock::currentSecond counts) that holds an instant in microseconds,
// also before the epoch.
std::int64_t wholeSecond(std::int64_t micros) {
    return std::chrono::floor<std::chrono::seconds>(std::chrono::microseconds{micros}).count();
}

}  // namespace

ClockController::ClockController(Clock& clock, ClockWindow& window, DeviceMap devices)
    : m_clock(clock), m_window(window), m_port(std::move(devices)) {}

bool ClockController::openPort(int index, bool sameDevice) {
    m_port.close();
    const bool opened = sameDevice ? m_port.reopen(index, m_line) : m_port.open(index, m_line);
    m_window.portOpenResult(index + 1, m_port.devicePath(index),
                            opened ? SystemError{} : m_port.lastError());
    return opened;
}

void ClockController::selectPort(int n) {
    if (n < 1 || n > portCount) {
        return;
    }
    const std::string wanted = DeviceMap::portName(n - 1);
    // A port in recovery is not really open, so choosing it again is a fresh attempt.
    if (m_activePort == n && !m_recovering) {
        return;
    }
    m_recovering = false;
    m_recoveryFailureLogged = false;
    m_loggedWriteFailure.clear();
    const bool opened = openPort(n - 1);
    appendLog(opened ? LogKind::Opened : LogKind::OpenFailed, wanted,
              opened ? openedText(wanted) : notOpenedText(wanted));
    if (!opened && m_retryFailedOpens) {
        m_activePort = n;
        m_recovering = true;
        m_recoveryFailureLogged = true;
        return;
    }
    m_activePort = opened ? std::optional<int>(n) : std::nullopt;
}

void ClockController::prepare(std::int64_t second) {
    m_prepared = build(second, m_clock.reading(second), m_window.selectedProtocol());
}

ClockController::Message ClockController::build(std::int64_t second, const TimeReading& time,
                                                Protocol protocol) const {
    const TimeFormat& format = formatOf(protocol);
    const FormatSettings& settings = m_formatSettings;
    // The clock's state as last read (after the last message left): no reading of
    // it comes between the change of second and the write.
    const TimeReading reading = m_clockState ? withClockState(time, *m_clockState) : time;
    return {second, reading, protocol, format.build(reading, settings),
            format.transmittedText(reading, settings)};
}

void ClockController::onTick() {
    // Right after a change of second this is all there is before the write: one
    // clock reading and a comparison. Without a prepared message (no early wake, a
    // late one, or the clock set meanwhile) the conversion happens here.
    const std::int64_t second = m_clock.currentSecond();
    if (second == m_lastSecond) {
        return;
    }
    std::optional<Message> prepared;
    prepared.swap(m_prepared);
    if (prepared && prepared->second != second) {
        prepared.reset();
    }
    const TimeReading time = prepared ? prepared->time : m_clock.reading(second);
    const bool firstTick = !m_lastSecond.has_value();
    const std::int64_t skipped = firstTick ? 0 : second - *m_lastSecond - 1;
    const std::uint64_t sentBefore = m_tally != nullptr ? m_tally->sent : 0;
    m_lastSecond = second;
    const Protocol protocol = m_window.selectedProtocol();
    const bool portChosen = m_activePort.has_value();
    bool stateRead = false;
    if (!firstTick && portChosen && isWaitingForSync()) {
        // Nothing is sent yet, so reading first delays nothing.
        readClockState();
        stateRead = true;
    }
    // A device back in this tick is back at the change of second: this second's
    // message need not wait for the next one.
    if (!firstTick && portChosen && !isWaitingForSync() && (!m_recovering || tryRecovery())) {
        send(prepared && prepared->protocol == protocol ? *prepared : build(second, time, protocol));
    }
    if (m_tally != nullptr && !firstTick) {
        m_tally->secondHandled(skipped, m_tally->sent != sentBefore);
    }
    if (!stateRead) {
        readClockState();
    }
    noteClockStep(m_clock.readWall(), false);
}

void ClockController::readClockState() {
    if (m_stateReader == nullptr) {
        return;
    }
    const ClockState reading = m_stateReader->read();
    const bool first = !m_clockState.has_value();
    if (first || reading.sync != m_clockState->sync ||
        reading.unknownReason != m_clockState->unknownReason) {
        appendLog(clockStateLogKind(reading), {}, clockStateLogLine(reading));
    }
    if (reading.leap != ClockState::Leap::None && (first || reading.leap != m_clockState->leap)) {
        appendLog(LogKind::LeapSecond, {}, leapSecondLogLine(reading));
    }
    if (isWaitingForSync()) {
        if (reading.isSynchronised()) {
            m_waitOver = true;
            if (m_waitLogged) {
                appendLog(LogKind::SyncWaitOver, {}, "Clock synchronised: sending starts.");
            }
        } else if (reading.sync == ClockState::Sync::Unknown) {
            // Where the system will not be asked (no time service under Wine, a
            // filter that refuses the call) it never will be: waiting on would send
            // nothing for good. The state line above and every status say unknown.
            m_waitOver = true;
            appendLog(LogKind::SyncWaitGivenUp, {},
                      "Clock state unknown: sending starts without waiting for synchronisation.");
        } else if (!m_waitLogged) {
            m_waitLogged = true;
            appendLog(LogKind::WaitingForSync, {},
                      "Nothing is sent until the clock is synchronised.");
        }
    }
    m_clockState = reading;
    m_window.showClockState(reading);
}

bool ClockController::onClockSet() {
    const std::optional<Clock::WallReading> reading = m_clock.readWall();
    noteClockStep(reading, true);
    if (!reading) {
        return false;
    }
    const std::int64_t shown = reading->shownMicros();
    const std::int64_t second = wholeSecond(shown);
    const std::int64_t intoSecond = shown - second * 1'000'000;
    // A step forward across a change of second (x.97 to y.02) would otherwise lose
    // y: the tick waits for the next change of second after now.
    return second != m_lastSecond &&
           intoSecond < std::chrono::microseconds(SerialPort::writeBudget).count();
}

void ClockController::noteClockStep(const std::optional<Clock::WallReading>& reading,
                                    bool reported) {
    if (!reading) {
        return;
    }
    const std::int64_t step = m_wallOffset ? reading->offsetMicros - *m_wallOffset : 0;
    // A step that moves the clock over a change of second of the messages skips or
    // repeats a second on the wire, however small it is. Only a step the system
    // reported is taken at that size: one found by comparing two ticks' readings
    // could be the scatter of the readings themselves.
    const std::int64_t shown = reading->shownMicros();
    const bool movedSecond = reported && wholeSecond(shown - step) != wholeSecond(shown);
    if (m_wallOffset && (std::llabs(step) >= stepThresholdMicros || movedSecond)) {
        // Both times from this one reading: the time shown now and, less the step,
        // the time the clock would show had nobody set it, which is what it showed
        // just before the step when the step is reported as it happens.
        const TimeReading before = m_clock.reading(wholeSecond(reading->wallMicros - step));
        const TimeReading after = m_clock.reading(wholeSecond(reading->wallMicros));
        appendLog(LogKind::ClockSet, {}, "Clock set: " + clockText(before) + " -> " + clockText(after) + " (" +
                  (step >= 0 ? '+' : '-') + durationText(step) + ")");
    }
    m_wallOffset = reading->offsetMicros;
}

void ClockController::send(const Message& message) {
    if (m_tally != nullptr) {
        if (const std::optional<Clock::WallReading> entered = m_clock.readWall()) {
            m_tally->writeEntered(message.second,
                                  entered->shownMicros() - message.second * 1'000'000);
        }
    }
    const bool sent = m_port.write(message.bytes);
    if (sent) {
        m_lastSent = message.time;
    }
    if (m_tally != nullptr) {
        m_tally->written(message.second, sent);
    }
    transmitted(sent, message.logText);
}

std::string ClockController::activePortName() const {
    return m_activePort ? DeviceMap::portName(*m_activePort - 1) : std::string();
}

void ClockController::transmitted(bool sent, const std::string& what) {
    if (sent) {
        m_loggedWriteFailure.clear();
        appendLog(LogKind::Transmitted, activePortName(), activePortName() + ": " + what);
        return;
    }
    // Saying "Transmitted" here would report a failure as success.
    const WriteFailure failure = m_port.lastWriteFailure();
    const std::string reason = failure == WriteFailure::HeldUp
                                   ? std::string("output held up by flow control")
                                   : errorText(m_port.lastError());
    std::string line = activePortName() + ": Transmission failed (" + reason + ")";
    if (line != m_loggedWriteFailure) {
        m_loggedWriteFailure = line;
        appendLog(LogKind::TransmissionFailed, activePortName(), std::move(line));
    }
    // Only a device that went away can come back by being opened again; a line held
    // by flow control would gain nothing from it but toggled modem lines.
    if (failure == WriteFailure::DeviceGone) {
        m_recovering = true;
        m_recoveryFailureLogged = false;
    }
}

bool ClockController::tryRecovery() {
    const int index = m_activePort.value_or(1) - 1;
    // The device that went away, not whatever took its name since.
    if (openPort(index, true)) {
        if (m_tally != nullptr) {
            ++m_tally->reopens;
        }
        m_recovering = false;
        m_loggedWriteFailure.clear();
        appendLog(LogKind::Opened, activePortName(), openedText(activePortName()));
        return true;
    }
    if (!m_recoveryFailureLogged) {
        m_recoveryFailureLogged = true;
        appendLog(LogKind::OpenFailed, activePortName(), notOpenedText(activePortName()));
    }
    return false;
}

ClockController::PortActivity ClockController::portActivity() const {
    if (!m_activePort) {
        return PortActivity::NoPort;
    }
    if (m_recovering) {
        // A failed attempt is logged at once, so "logged" means "tried and failed".
        return m_recoveryFailureLogged ? PortActivity::CannotOpen : PortActivity::Reopening;
    }
    return m_port.lastWriteFailure() == WriteFailure::HeldUp ? PortActivity::HeldUp
                                                             : PortActivity::Sending;
}

std::string ClockController::activeDevicePath() const {
    return m_activePort ? m_port.devicePath(*m_activePort - 1) : std::string();
}

Protocol ClockController::protocol() const {
    return m_window.selectedProtocol();
}

void ClockController::appendLog(LogKind kind, std::string port, std::string text) {
    m_log.append({kind, std::move(port), std::move(text)});
    m_window.showLog(m_log);
}

}  // namespace chronvane

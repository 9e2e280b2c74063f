#pragma once

// src/clock: the clock without a window toolkit. Offers the clock's reading (the
// Clock and ClockWindow interfaces the program injects, the system clock and its
// zone), the message log, and ClockController, which sends the chosen format's
// message at each change of second and carries out port selection.

#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <utility>

#include "clock.h"
#include "clock_state.h"
#include "clock_window.h"
#include "formats/format_registry.h"
#include "message_log.h"
#include "metrics/send_tally.h"
#include "serial/serial_port.h"

namespace chronvane {

// The state behind the window: decides at each tick whether a new second has begun
// and, if so, sends one time message and logs it; carries out port selection.
// Knows nothing of any window toolkit: the clock and the window are injected.
class ClockController {
  public:
    ClockController(Clock& clock, ClockWindow& window, DeviceMap devices = DeviceMap{});

    // The output flow control the port sets at every later open (FlowControl::None
    // until told); call it before the first selectPort. The rest of the line is
    // timeLine's.
    void setFlowControl(FlowControl flow) { m_line.flow = flow; }
    // The whole line, its flow control included, for every later open.
    void setLine(const LineSettings& line) { m_line = line; }
    // What the chosen format is told beyond its choice (FormatSettings), for every
    // later message.
    void setFormatSettings(FormatSettings settings) { m_formatSettings = std::move(settings); }
    // The format the operator named (--format), which the start sequence checks
    // instead of a short option found in the text; none: the text decides.
    void setNamedFormat(std::optional<Protocol> protocol) { m_namedFormat = protocol; }
    std::optional<Protocol> namedFormat() const { return m_namedFormat; }
    // With nobody to choose a port again (console mode), a port that fails to open
    // is not given up: it is tried again at each change of second, like a
    // device that went away, and sends from the second it opens. Off by default:
    // the window's operator sees the failure and chooses again.
    void setRetryFailedOpens(bool retry) { m_retryFailedOpens = retry; }
    // Where the clock's state is read: once per second, after that second's message
    // has left (nothing may delay a send), and logged at the first reading and at
    // each change. Null (the default): not read.
    void setClockStateReader(ClockStateReader* reader) { m_stateReader = reader; }
    // Sends nothing until a reading says the clock is synchronised, for a machine
    // whose clock starts wrong at every boot. While it waits the state is read before
    // the send, so that sending starts in the second the clock is found good. Once
    // started it sends on through a lost synchronisation, as a time source holds
    // over: the logged change tells the operator. A reading that cannot tell (the
    // system refuses to be asked) ends the wait too, with a line that says so: where
    // the state can never be read the wait would otherwise never end, and a source
    // that never sends fails for certain. Needs a reader.
    void setWaitForSync(bool wait) { m_waitForSync = wait; }
    // Where each second's outcome is counted (see SendTally); null (the default):
    // nothing is, and nothing more is read at the send. With a tally the wall
    // clock is read once more just before each write, for its delay.
    void setSendTally(SendTally* tally) { m_tally = tally; }

    // Makes COMn (n = 1 to portCount) the active port: closes the current one, opens COMn,
    // logs the outcome. Choosing the port that is already open does nothing.
    void selectPort(int n);
    // One timer expiry: sends at most one message, only when the second (counted
    // from the epoch, so that a minute later or a clock set back by whole minutes is
    // another second) changed since the previous tick. The very first tick only
    // notes its second, so every message starts at a change of second, never
    // part-way through one.
    void onTick();
    // Ahead of the change of second that starts second (as Clock::currentSecond
    // counts it): reads the zone, the protocol and builds that second's message and
    // its log text, so that the onTick right after the change only has to confirm
    // the second and write. A clock set in between, or a protocol chosen in
    // between, makes onTick build afresh, as it does without this.
    void prepare(std::int64_t second);
    // The wall clock was just set (the tick's timer saw it): logs the step now,
    // while the time it showed before is still known to the second, and logs it
    // whatever its size when it moved the clock into another second. Where nothing
    // reports steps, the next tick finds and logs those of stepThresholdMicros and
    // more, a little less exactly.
    // Returns true when the caller should tick at once: the clock now shows a second
    // that has not been handled and began less than SerialPort::writeBudget ago, so
    // that its message still leaves about as late as a held-up line would let it.
    // Otherwise that second is lost, as a late tick loses it, and the tick waits for
    // the next change of second.
    bool onClockSet();

    // The port messages go to (1 to 4), also while it is being reopened; none
    // before the first selectPort and after a failed open that is not retried.
    std::optional<int> activePort() const { return m_activePort; }
    const MessageLog& log() const { return m_log; }
    // The second (as Clock::currentSecond counts) the last tick handled; none before
    // the first.
    std::optional<std::int64_t> lastSecond() const { return m_lastSecond; }
    const SerialPort& port() const { return m_port; }
    // True after a write failed because the device went away (or, with
    // setRetryFailedOpens, after a failed open), until it has been opened again.
    bool isRecovering() const { return m_recovering; }

    // What the active port is doing, for a status display.
    enum class PortActivity {
        NoPort,      // none chosen, or the chosen one failed to open and is not retried
        Sending,     // open; the last message left, or none was due yet
        HeldUp,      // open; the last message was held up by flow control
        Reopening,   // went away while sending; not yet tried again
        CannotOpen,  // the last attempt to open it failed (port().lastError() says why)
    };
    PortActivity portActivity() const;
    // The device behind the active port; empty when there is none.
    std::string activeDevicePath() const;
    // The line the port opens with.
    const LineSettings& line() const { return m_line; }
    // The protocol the window has chosen, which the next message will use.
    Protocol protocol() const;
    // The time the last message that left carried; none before the first.
    const std::optional<TimeReading>& lastSent() const { return m_lastSent; }
    // The most recent reading of the clock's state; empty before the first one.
    // Whoever reports on the program (a status line) takes it from here rather than
    // asking the system again.
    const std::optional<ClockState>& clockState() const { return m_clockState; }
    // True while setWaitForSync holds the messages back.
    bool isWaitingForSync() const { return m_waitForSync && !m_waitOver; }

    // A jump of the wall clock against the unset clock of at least this much
    // between two seconds is a step, logged; slewing never comes near it. A step
    // the system reports is logged at any size once it moves the clock into
    // another second.
    static constexpr std::int64_t stepThresholdMicros = 100'000;

  private:
    // Opens port index afresh, or with sameDevice only the device it had before
    // (SerialPort::reopen), and tells the window the outcome.
    bool openPort(int index, bool sameDevice = false);
    // True when the port is open again.
    bool tryRecovery();
    // One second's message and what its log line says after "COMn: ".
    struct Message {
        std::int64_t second = 0;
        TimeReading time;
        Protocol protocol = defaultProtocol;
        ByteString bytes;
        std::string logText;
    };
    Message build(std::int64_t second, const TimeReading& time, Protocol protocol) const;
    void send(const Message& message);
    std::string activePortName() const;
    void transmitted(bool sent, const std::string& what);
    // port: "COMn" for what happened on one, empty for the clock's lines.
    void appendLog(LogKind kind, std::string port, std::string text);
    void readClockState();
    // Logs a step of the wall clock between the last reading and this one (none
    // where the clock cannot be read that way); reported: the system said it was set.
    // The system's own step for an announced leap second is no clock set: it marks
    // the inserted second as begun, or logs the deleted one.
    void noteClockStep(const std::optional<Clock::WallReading>& reading, bool reported);
    // The clock's state last read announces that kind of leap second.
    bool leapAnnounced(ClockState::Leap kind) const;
    // The inserted second after second (the last of its UTC day) has begun and
    // its message has not left: sends it, logs it once.
    void sendInsertedSecond(std::int64_t second, Protocol protocol);
    // The deleted second before second (the first of a UTC day): logged once.
    void noteDeletedSecond(std::int64_t second);

    Clock& m_clock;
    ClockWindow& m_window;
    // Empty while no second has been seen: the first tick notes its second and
    // sends nothing, so the first message waits for the next change of second.
    std::optional<std::int64_t> m_lastSecond;
    // Built by prepare() for the second about to begin; used once.
    std::optional<Message> m_prepared;
    std::optional<int> m_activePort;
    LineSettings m_line = timeLine;
    FormatSettings m_formatSettings;
    std::optional<Protocol> m_namedFormat;
    SerialPort m_port;
    MessageLog m_log;
    // A device that went away (a USB adapter pulled out) is reopened once a second
    // until it answers again; only the first failed attempt is logged.
    bool m_recovering = false;
    bool m_recoveryFailureLogged = false;
    bool m_retryFailedOpens = false;
    // The failure line last logged for a write that did not go through; the same
    // line is not logged again until a message has left (a line held up by flow
    // control fails every second for as long as it is held).
    std::string m_loggedWriteFailure;
    std::optional<TimeReading> m_lastSent;

    SendTally* m_tally = nullptr;
    ClockStateReader* m_stateReader = nullptr;
    std::optional<ClockState> m_clockState;
    // Whether any reading of the state in this run said synchronised: a clock that
    // loses its daemon then runs in holdover rather than never having been set.
    bool m_everSynchronised = false;
    bool m_waitForSync = false;
    // With setWaitForSync: the wait has ended (a reading said synchronised, or
    // could not tell), and whether it was logged, so that its end is logged too.
    bool m_waitOver = false;
    bool m_waitLogged = false;
    std::optional<std::int64_t> m_wallOffset;
    // The reading the last second handled was sent with; for the inserted second,
    // which repeats it, so that nothing is converted at its change of second.
    std::optional<TimeReading> m_lastReading;
    // The last second of a UTC day after which the inserted second has begun, and
    // after which its message was handled.
    std::optional<std::int64_t> m_insertBegunAfter;
    std::optional<std::int64_t> m_insertHandledAfter;
    // The first second of the UTC day whose deleted second was logged.
    std::optional<std::int64_t> m_deletionLoggedAt;
};

}  // namespace chronvane

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "core/advance.h"
#include "core/system_error.h"

namespace chronvane {

// The repeating 100 ms tick, as a handle any event loop can wait on (poll in the
// console, QSocketNotifier in the window). Its expiries lie on the wall clock's
// period slots (..., x.900, y.000, y.100, ...), so one expiry comes right after each
// change of second and the message leaves within a fraction of a millisecond of
// it. When the clock is set, the timer moves to the new slots.
// Starting, stopping and the slots are the same everywhere (tick_source.cpp); the
// timer itself is per platform (tick_source_<platform>.cpp).
//
// An idle processor can take milliseconds to wake for an expiry. With a wake lead
// (setWakeLead) every expiry comes that much before its slot, and acknowledge()
// spends the rest of the lead before a change of second reading the wall clock,
// so that the tick for a new second still comes right after it, from a processor
// that is already awake. The other slots tick as soon as they expire, up to the
// lead early: nothing but the change of second is waited for.
class TickSource {
  public:
    TickSource();
    ~TickSource();
    TickSource(const TickSource&) = delete;
    TickSource& operator=(const TickSource&) = delete;

    // Starts ticking every periodMs (1 to 1000). Returns false and keeps the reason
    // in lastError() when no timer can be had (EINVAL for a period out of range);
    // the source is then stopped.
    bool start(int periodMs);
    // How long (microseconds, 0 to maxWakeLeadMicros; outside that, the nearest
    // bound) each expiry comes before its slot from the next start() on. 0 (the
    // default) places them on the slots and never spins.
    void setWakeLead(int leadMicros);
    static constexpr int maxWakeLeadMicros = 10'000;
    // Moves every slot this much before the wall clock's grid from the next start()
    // on, so that the tick for a second comes that much before it (for a message
    // sent in advance, read from a clock that is as far ahead). None by default.
    void setAdvance(Advance advance);
    // With a wake lead: called by acknowledge(), on its caller's thread, when an
    // expiry comes before a change of second, with the second about to begin
    // (counted from the Unix epoch), before the wait for it. What the caller does
    // there is done by the time the second begins: the message can be ready.
    void setLeadAction(std::function<void(std::int64_t second)> action) {
        m_leadAction = std::move(action);
    }
    // Called by acknowledge(), on its caller's thread, when the system reports that
    // the wall clock was set, at once. It answers whether that acknowledge() is a
    // tick (the second now shown is still to be sent and it is not too late for
    // it); the tick after that waits for the next change of second either way.
    // Linux learns of a step at once, Windows at the next expiry.
    void setClockSetAction(std::function<bool()> action) { m_clockSetAction = std::move(action); }
    // Stops and releases the timer; harmless when stopped.
    void stop();
    bool isRunning() const { return m_timer != nullptr; }
    // What to wait on: signalled when an expiry is due. The platform's own handle
    // as an integer; -1 while stopped.
    std::intptr_t nativeHandle() const;
    // Call when nativeHandle() is signalled: consumes what is pending and re-arms
    // after a clock change. Returns true when the caller should tick (once, however
    // many expiries were pending: seconds are never made up). Never blocks, other
    // than, with a wake lead, spinning on the wall clock until a change of second
    // that is at most the lead (plus a small margin) away: a tick for a new second
    // never comes while the wall clock still shows the old one. A timer that
    // cannot be re-armed is stopped (isRunning() false, the reason in lastError())
    // where it would otherwise stay signalled.
    bool acknowledge();
    // The wall clock was set: the next expiry comes at the next change of second
    // (the wake lead before it), and the slots follow from there. A tick between
    // the step and that change would send the new time part-way through a second;
    // as at start, the first message of the new time waits for its second to begin
    // (unless the clock-set action asks for a tick at once, for a second that has
    // only just begun). acknowledge() calls it when the system reports the step. Returns false with
    // the reason in lastError() when the timer could not be re-armed; it then runs
    // on as it was.
    bool followClockStep();
    SystemError lastError() const { return m_lastError; }

  private:
    // The platform's timer; null while stopped.
    struct Timer;
    // Frees a Timer in the one file that knows its type (tick_source_<platform>.cpp),
    // so that tick_source.cpp can hold and drop it. The system's timer is released
    // before that, by releaseTimer().
    struct TimerDeleter {
        void operator()(Timer* timer) const;
    };

    // Per platform (tick_source_<platform>.cpp), for start() and stop():
    // The system's code for a period out of range.
    static SystemError periodOutOfRange();
    // Makes an unarmed timer into m_timer. Returns false when the system gives none:
    // m_timer stays null and m_lastError keeps the reason.
    bool createTimer();
    // Releases m_timer's system timer (m_timer set; the caller then drops it). Cannot
    // fail in a way anyone could act on: the timer is gone either way.
    void releaseTimer();
    // Arms m_timer (set) so that it first expires at firstExpiry (after now, both in
    // the platform's wall clock units) and every period after that. Returns false
    // with the reason in m_lastError; the timer then runs on as it was.
    bool armAt(std::int64_t now, std::int64_t firstExpiry);
    // The platform's wall clock (the one the clock controller reads) in its units
    // since its epoch. Returns false with the reason in m_lastError when it cannot
    // be read.
    bool readWallClock(std::int64_t& now);
    // The platform's wall clock units per microsecond.
    static const std::int64_t unitsPerMicro;
    // The Unix epoch on the platform's wall clock, in its units.
    static const std::int64_t unixEpochUnits;

    // The same everywhere (tick_source.cpp):
    // The first slot after now: the next whole multiple of period, both counted in
    // the platform's units since its wall clock's epoch.
    static std::int64_t nextSlot(std::int64_t now, std::int64_t period);
    // The first expiry after now: the wake lead before a slot of period (the
    // platform's units) on the wall clock's grid moved ahead by the advance.
    std::int64_t nextExpiry(std::int64_t now, std::int64_t period) const;
    // For acknowledge() after an expiry: when the wall clock is at most the lead
    // (plus a margin for a timer that fires a little early) before a change of
    // second, reads it until the second has changed. Harmless when it cannot be
    // read: the tick then comes at once, as it would without a lead.
    void waitOutLead();
    // Arms m_timer (set) for the first expiry after now (nextExpiry).
    bool arm();
    // arm(); when that fails, stops, keeping the reason in lastError().
    bool armOrStop();

    std::unique_ptr<Timer, TimerDeleter> m_timer;
    int m_periodMs = 0;
    int m_leadMicros = 0;
    std::int64_t m_advanceMicros = 0;
    std::function<void(std::int64_t)> m_leadAction;
    std::function<bool()> m_clockSetAction;
    SystemError m_lastError;
};

// What waitForTickOr woke for.
enum class TickWait {
    tick,    // the tick is due (acknowledged as a tick)
    other,   // the other handle is signalled: the caller takes what it stands for
    failed,  // the wait itself failed: failedCall and error say why
};

// The one wait of a loop that runs on the tick and one thing besides (a stop
// request, a knock): blocks until tick's expiry has been acknowledged as a tick
// (TickSource::acknowledge), or other (a handle of the same kind as nativeHandle())
// is signalled. Other is looked at first, so that what it stands for wins over a
// tick due at the same time. Per platform (tick_source_<platform>.cpp): poll on
// Linux, WaitForMultipleObjects on Windows. On failure failedCall names the system
// call and error keeps the reason.
TickWait waitForTickOr(TickSource& tick, std::intptr_t other, const char*& failedCall,
                       SystemError& error);

}  // namespace chronvane

#pragma once

#include <cstdint>
#include <memory>

#include "core/system_error.h"

namespace chronvane {

// The repeating 100 ms tick, as a handle any event loop can wait on (poll in the
// console, QSocketNotifier in the window). Its expiries lie on the wall clock's
// period slots (..., x.900, y.000, y.100, ...), so one expiry comes right after each
// change of second and the message leaves within a fraction of a millisecond of
// it. When the clock is set, the timer moves to the new slots.
// Starting, stopping and the slots are the same everywhere (tick_source.cpp); the
// timer itself is per platform (tick_source_<platform>.cpp): on POSIX a timerfd on CLOCK_REALTIME
// with absolute expiries, re-armed when the clock is set (TFD_TIMER_CANCEL_ON_SET);
// on Windows a manual-reset waitable timer (high-resolution where the system has
// them) re-armed at each expiry for the next slot, its HANDLE the native handle.
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
    // Stops and releases the timer; harmless when stopped.
    void stop();
    bool isRunning() const { return m_timer != nullptr; }
    // What to wait on: signalled (on POSIX: readable) when an expiry is due. The
    // platform's own handle as an integer: a file descriptor on POSIX. -1 while
    // stopped.
    std::intptr_t nativeHandle() const;
    // Call when nativeHandle() is signalled: consumes what is pending and re-arms
    // after a clock change. Returns true when the caller should tick (once, however
    // many expiries were pending: seconds are never made up). Never blocks.
    // On Windows, a timer that cannot be re-armed is stopped (isRunning() false,
    // the reason in lastError()), since it would otherwise stay signalled.
    bool acknowledge();
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
    // The system's code for a period out of range (EINVAL, ERROR_INVALID_PARAMETER).
    static SystemError periodOutOfRange();
    // Makes an unarmed timer into m_timer. Returns false when the system gives none:
    // m_timer stays null and m_lastError keeps the reason.
    bool createTimer();
    // Releases m_timer's system timer (m_timer set; the caller then drops it). Cannot
    // fail in a way anyone could act on: the timer is gone either way.
    void releaseTimer();
    // Arms m_timer (set) for the first slot of m_periodMs after now (nextSlot). Returns
    // false with the reason in m_lastError; the timer then runs on as it was.
    bool arm();

    // The same everywhere (tick_source.cpp):
    // The first slot after now: the next whole multiple of period, both counted in
    // the platform's units since its wall clock's epoch.
    static std::int64_t nextSlot(std::int64_t now, std::int64_t period);
    // arm(); when that fails, stops, keeping the reason in lastError().
    bool armOrStop();

    std::unique_ptr<Timer, TimerDeleter> m_timer;
    int m_periodMs = 0;
    SystemError m_lastError;
};

}  // namespace chronvane

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
// Per platform (tick_source_<platform>.cpp): on POSIX a timerfd on CLOCK_REALTIME
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

    bool arm();

    std::unique_ptr<Timer> m_timer;
    int m_periodMs = 0;
    SystemError m_lastError;
};

}  // namespace chronvane

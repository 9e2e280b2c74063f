#include <windows.h>

#include <cstdint>

#include "clock/wall_counter_windows.h"
#include "tick_source.h"

// Older SDK headers lack it; Windows 10 1803 and later know it, earlier ones refuse
// the timer and a plain one is made instead.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

// The tick on Windows: a manual-reset waitable timer (high-resolution where the
// system has them) re-armed at each expiry for the next slot, its HANDLE the
// native handle. A timer that cannot be re-armed stays signalled, so it is stopped.

namespace chronvane {
namespace {

std::int64_t wallClockUnits() { return windows_clock::wallUnits(); }

// The wall clock less the counter: a clock set between two readings shows as a
// change of it.
std::int64_t wallLessCounter() { return windows_clock::readAgainstCounter().offset; }

// A change of wallLessCounter() beyond this is the clock being set. Slewing moves it
// too, by at most some hundred microseconds a second where a time service does it;
// a step this small would not move a message out of its millisecond anyway.
constexpr std::int64_t stepUnits = 20'000;  // 2 ms

}  // namespace

// The timer is re-armed at each expiry for the next slot of the wall clock, with a
// due time relative to now rather than absolute: Windows holds an absolute timer
// until the wall clock reaches it, so a clock set back by an hour would silence the
// clock for an hour. A relative timer runs on the interrupt clock, which nobody
// sets. Windows has no timer that reports a set clock (as Linux's cancel-on-set
// does) without a window for WM_TIMECHANGE, so every expiry compares the wall clock
// with the performance counter: when they have moved apart since the timer was
// armed, the clock was set, and the tick follows the step as on Linux (the clock-set
// action, then the next change of second), at most one period after it. Only
// re-arming for the next slot would tick part-way through the new second. The
// timer is manual-reset: it stays signalled until acknowledge() re-arms it, so any
// loop may wait on it and acknowledge() can tell a real expiry from a spurious call.
// FILETIME and due times count 100 ns.
const std::int64_t TickSource::unitsPerMicro = 10;
// 1970-01-01 is a whole number of seconds after 1601-01-01.
const std::int64_t TickSource::unixEpochUnits = 116'444'736'000'000'000;

struct TickSource::Timer {
    HANDLE handle;
    // The wall clock time (100 ns units) the timer was last armed for: a slot, or
    // the wake lead before one.
    std::int64_t expiry = 0;
    // wallLessCounter() when it was armed.
    std::int64_t wallLessCounter = 0;
};

void TickSource::TimerDeleter::operator()(Timer* timer) const {
    delete timer;
}

SystemError TickSource::periodOutOfRange() {
    return SystemError{static_cast<int>(ERROR_INVALID_PARAMETER)};
}

bool TickSource::createTimer() {
    // A plain waitable timer expires on the next clock interrupt after its due time,
    // up to 15.6 ms late; a high-resolution one within about half a millisecond.
    HANDLE handle = CreateWaitableTimerExW(
        nullptr, nullptr,
        CREATE_WAITABLE_TIMER_MANUAL_RESET | CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
        TIMER_ALL_ACCESS);
    if (handle == nullptr) {
        handle = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_MANUAL_RESET,
                                        TIMER_ALL_ACCESS);
    }
    if (handle == nullptr) {
        m_lastError = lastSystemError();
        return false;
    }
    m_timer.reset(new Timer{handle});
    return true;
}

void TickSource::releaseTimer() {
    // Closing the last handle cancels the timer; there is nothing to undo if
    // either call fails.
    CancelWaitableTimer(m_timer->handle);
    CloseHandle(m_timer->handle);
}

std::intptr_t TickSource::nativeHandle() const {
    return m_timer ? reinterpret_cast<std::intptr_t>(m_timer->handle) : -1;
}

bool TickSource::readWallClock(std::int64_t& now) {
    now = wallClockUnits();
    return true;
}

bool TickSource::armAt(std::int64_t now, std::int64_t firstExpiry) {
    m_timer->expiry = firstExpiry;
    m_timer->wallLessCounter = wallLessCounter();
    LARGE_INTEGER due{};
    due.QuadPart = -(m_timer->expiry - now);  // negative: relative to now
    if (!SetWaitableTimer(m_timer->handle, &due, 0, nullptr, nullptr, FALSE)) {
        m_lastError = lastSystemError();
        return false;
    }
    return true;
}

bool TickSource::acknowledge() {
    if (!m_timer) {
        return false;
    }
    const DWORD state = WaitForSingleObject(m_timer->handle, 0);
    if (state == WAIT_TIMEOUT) {
        return false;
    }
    if (state != WAIT_OBJECT_0) {
        m_lastError = lastSystemError();
        return false;
    }
    const std::int64_t moved = wallLessCounter() - m_timer->wallLessCounter;
    if (moved > stepUnits || moved < -stepUnits) {
        // As on Linux: the second the step lands in is sent at once when it is
        // still to be sent and not too late for it.
        const bool tickNow = m_clockSetAction && m_clockSetAction();
        // Re-arming also resets the signal; a timer that cannot be re-armed would
        // stay signalled, so it is stopped with the reason kept.
        if (!followClockStep()) {
            const SystemError error = m_lastError;
            stop();
            m_lastError = error;
        }
        return tickNow;
    }
    // The interrupt clock and the wall clock may drift apart by a little while the
    // wall clock is being slewed: an expiry that comes before its time would read
    // the old second. Wait out the rest rather than tick early.
    const bool due = wallClockUnits() >= m_timer->expiry;
    // Re-arming also resets the signal. Should it fail, the timer would stay
    // signalled and every wait return at once: stop instead, and let the caller
    // find it stopped with the reason in lastError().
    if (!armOrStop()) {
        return false;
    }
    if (due) {
        waitOutLead();
    }
    return due;
}

TickWait waitForTickOr(TickSource& tick, std::intptr_t other, const char*& failedCall,
                       SystemError& error) {
    for (;;) {
        // The timer is manual-reset and stays signalled until acknowledge() re-arms
        // it; a timer that could not be re-armed has stopped and has no handle.
        if (!tick.isRunning()) {
            failedCall = "SetWaitableTimer";
            error = tick.lastError();
            return TickWait::failed;
        }
        // Other first: when both are signalled the lower index is reported.
        const HANDLE watched[2] = {reinterpret_cast<HANDLE>(other),
                                   reinterpret_cast<HANDLE>(tick.nativeHandle())};
        const DWORD woke = WaitForMultipleObjects(2, watched, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0) {
            return TickWait::other;
        }
        if (woke != WAIT_OBJECT_0 + 1) {
            failedCall = "WaitForMultipleObjects";
            error = lastSystemError();
            return TickWait::failed;
        }
        if (tick.acknowledge()) {
            return TickWait::tick;
        }
    }
}

}  // namespace chronvane

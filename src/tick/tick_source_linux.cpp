#include "tick_source.h"

#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

#include "core/retry_on_interrupt.h"

// The tick on Linux: a timerfd on CLOCK_REALTIME with absolute expiries, re-armed
// when the clock is set (TFD_TIMER_CANCEL_ON_SET); the descriptor, readable when an
// expiry is due, is the native handle.

namespace chronvane {
namespace {

constexpr std::int64_t nanosPerSecond = 1'000'000'000;
constexpr std::int64_t nanosPerMilli = 1'000'000;

timespec toTimespec(std::int64_t nanos) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(nanos / nanosPerSecond);
    ts.tv_nsec = static_cast<long>(nanos % nanosPerSecond);
    return ts;
}

}  // namespace

const std::int64_t TickSource::unitsPerMicro = 1000;
const std::int64_t TickSource::unixEpochUnits = 0;

struct TickSource::Timer {
    int fd;
};

void TickSource::TimerDeleter::operator()(Timer* timer) const {
    delete timer;
}

SystemError TickSource::periodOutOfRange() {
    return SystemError{EINVAL};
}

bool TickSource::createTimer() {
    const int fd = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) {
        m_lastError = lastSystemError();
        return false;
    }
    m_timer.reset(new Timer{fd});
    return true;
}

void TickSource::releaseTimer() {
    // Linux releases the descriptor even when close is interrupted: no retry.
    ::close(m_timer->fd);
}

std::intptr_t TickSource::nativeHandle() const {
    return m_timer ? m_timer->fd : -1;
}

bool TickSource::readWallClock(std::int64_t& now) {
    timespec ts{};
    if (clock_gettime(CLOCK_REALTIME, &ts) < 0) {
        m_lastError = lastSystemError();
        return false;
    }
    now = std::int64_t{ts.tv_sec} * nanosPerSecond + ts.tv_nsec;
    return true;
}

bool TickSource::armAt(std::int64_t /*now*/, std::int64_t firstNanos) {
    // Absolute expiries on the slots (or the wake lead before them), so the period
    // runs on the wall clock itself.
    const std::int64_t period = std::int64_t{m_periodMs} * nanosPerMilli;

    itimerspec expiry{};
    expiry.it_value = toTimespec(firstNanos);
    expiry.it_interval = toTimespec(period);
    // CANCEL_ON_SET: an absolute timer on a clock that is stepped back would
    // otherwise stay silent until the old expiry time comes round again.
    if (timerfd_settime(m_timer->fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &expiry,
                        nullptr) < 0) {
        m_lastError = lastSystemError();
        return false;
    }
    return true;
}

bool TickSource::acknowledge() {
    if (!m_timer) {
        return false;
    }
    std::uint64_t expiries = 0;
    const ssize_t got =
        retryOnInterrupt([&] { return ::read(m_timer->fd, &expiries, sizeof expiries); });
    if (got == static_cast<ssize_t>(sizeof expiries)) {
        if (expiries == 0) {
            return false;
        }
        waitOutLead();
        return true;
    }
    if (got < 0 && errno == ECANCELED) {
        // The wall clock was set: the old slots no longer lie on its period grid.
        // Should re-arming fail, the old timer keeps running and lastError() says why.
        const bool tickNow = m_clockSetAction && m_clockSetAction();
        followClockStep();
        return tickNow;
    }
    if (got < 0 && errno != EAGAIN) {
        m_lastError = lastSystemError();
    }
    return false;
}

TickWait waitForTickOr(TickSource& tick, std::intptr_t other, const char*& failedCall,
                       SystemError& error) {
    enum { tickSlot, otherSlot };
    pollfd watched[2] = {{static_cast<int>(tick.nativeHandle()), POLLIN, 0},
                         {static_cast<int>(other), POLLIN, 0}};
    for (;;) {
        watched[tickSlot].revents = 0;
        watched[otherSlot].revents = 0;
        if (retryOnInterrupt([&] { return poll(watched, 2, -1); }) < 0) {
            failedCall = "poll";
            error = lastSystemError();
            return TickWait::failed;
        }
        if (watched[otherSlot].revents != 0) {
            return TickWait::other;
        }
        if (watched[tickSlot].revents != 0 && tick.acknowledge()) {
            return TickWait::tick;
        }
    }
}

}  // namespace chronvane

#include "tick_source.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

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

TickSource::~TickSource() {
    stop();
}

bool TickSource::start(int periodMs) {
    stop();
    if (periodMs < 1 || periodMs > 1000) {
        m_lastError = EINVAL;
        return false;
    }
    const int fd = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) {
        m_lastError = errno;
        return false;
    }
    m_fd = fd;
    m_periodMs = periodMs;
    if (!arm()) {
        const int error = m_lastError;
        stop();
        m_lastError = error;
        return false;
    }
    m_lastError = 0;
    return true;
}

void TickSource::stop() {
    if (m_fd >= 0) {
        // Linux releases the descriptor even when close is interrupted: no retry.
        ::close(m_fd);
        m_fd = -1;
    }
    m_periodMs = 0;
}

bool TickSource::arm() {
    timespec now{};
    if (clock_gettime(CLOCK_REALTIME, &now) < 0) {
        m_lastError = errno;
        return false;
    }
    // The first expiry is the next whole multiple of the period on the wall clock,
    // so that with 100 ms one of the slots is exactly the change of second.
    const std::int64_t period = std::int64_t{m_periodMs} * nanosPerMilli;
    const std::int64_t nowNanos = std::int64_t{now.tv_sec} * nanosPerSecond + now.tv_nsec;
    const std::int64_t firstNanos = (nowNanos / period + 1) * period;

    itimerspec expiry{};
    expiry.it_value = toTimespec(firstNanos);
    expiry.it_interval = toTimespec(period);
    // CANCEL_ON_SET: an absolute timer on a clock that is stepped back would
    // otherwise stay silent until the old expiry time comes round again.
    if (timerfd_settime(m_fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &expiry, nullptr) < 0) {
        m_lastError = errno;
        return false;
    }
    return true;
}

bool TickSource::acknowledge() {
    if (m_fd < 0) {
        return false;
    }
    std::uint64_t expiries = 0;
    ssize_t got;
    do {
        got = ::read(m_fd, &expiries, sizeof expiries);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof expiries)) {
        return expiries > 0;
    }
    if (got < 0 && errno == ECANCELED) {
        // The wall clock was set: the old slots no longer lie on its period grid.
        // Tick now so that the new time goes out without waiting for the next slot.
        // Should re-arming fail, the old timer keeps running and lastError() says why.
        arm();
        return true;
    }
    if (got < 0 && errno != EAGAIN) {
        m_lastError = errno;
    }
    return false;
}

}  // namespace chronvane

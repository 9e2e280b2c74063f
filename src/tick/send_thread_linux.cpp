#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "core/retry_on_interrupt.h"
#include "send_thread.h"

namespace chronvane {

struct SendThread::Doorbell {
    int fd;
};

void SendThread::DoorbellDeleter::operator()(Doorbell* doorbell) const {
    ::close(doorbell->fd);
    delete doorbell;
}

bool SendThread::makeDoorbell() {
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
        m_lastError = lastSystemError();
        return false;
    }
    m_doorbell.reset(new Doorbell{fd});
    return true;
}

void SendThread::knock() {
    const std::uint64_t one = 1;
    // Cannot fail short of a counter at its maximum, which is a knock pending anyway.
    [[maybe_unused]] const ssize_t written =
        retryOnInterrupt([&] { return ::write(m_doorbell->fd, &one, sizeof one); });
}

SendThread::Wake SendThread::waitForTickOrKnock() {
    const char* failedCall = "";
    const TickWait woke = waitForTickOr(m_tick, m_doorbell->fd, failedCall, m_lastError);
    if (woke == TickWait::other) {
        std::uint64_t knocks = 0;
        [[maybe_unused]] const ssize_t got =
            retryOnInterrupt([&] { return ::read(m_doorbell->fd, &knocks, sizeof knocks); });
        return Wake::knock;
    }
    return woke == TickWait::tick ? Wake::tick : Wake::failed;
}

}  // namespace chronvane

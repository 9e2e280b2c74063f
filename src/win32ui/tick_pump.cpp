#include "tick_pump.h"

#include <cstdint>
#include <system_error>

namespace chronvane {

TickPump::TickPump() = default;

TickPump::~TickPump() {
    stop();
}

bool TickPump::start(HWND window, UINT message, int periodMs) {
    stop();
    m_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_answeredEvent = m_stopEvent ? CreateEventW(nullptr, FALSE, FALSE, nullptr) : nullptr;
    if (m_answeredEvent == nullptr) {
        m_lastError = lastSystemError();
        stop();
        return false;
    }
    if (!m_tick.start(periodMs)) {
        m_lastError = m_tick.lastError();
        stop();
        return false;
    }
    const auto timer = reinterpret_cast<HANDLE>(m_tick.nativeHandle());
    try {
        m_waiter = std::thread([this, timer, window, message] { wait(timer, window, message); });
    } catch (const std::system_error& error) {
        // The only exception on this path: the system would not give a thread.
        m_lastError = SystemError{error.code().value() != 0 ? error.code().value()
                                                            : static_cast<int>(ERROR_OUTOFMEMORY)};
        stop();
        return false;
    }
    m_lastError = SystemError{};
    return true;
}

void TickPump::stop() {
    stopWaiter();
    m_tick.stop();
    for (HANDLE* event : {&m_stopEvent, &m_answeredEvent}) {
        if (*event != nullptr) {
            CloseHandle(*event);
            *event = nullptr;
        }
    }
}

// Joined before the timer's handle is closed, so the waiter never waits on a
// handle that has gone (or been reused).
void TickPump::stopWaiter() {
    if (m_waiter.joinable()) {
        SetEvent(m_stopEvent);
        m_waiter.join();
    }
}

bool TickPump::acknowledge() {
    if (!m_tick.isRunning()) {
        return false;
    }
    const bool due = m_tick.acknowledge();
    if (!m_tick.isRunning()) {
        m_lastError = m_tick.lastError();
        stop();
        return false;
    }
    SetEvent(m_answeredEvent);
    return due;
}

// The waiter. It ends when told to, when the window has gone (a failed post), or
// when a wait fails; the window then simply gets no more ticks, which is what
// the operator would see of a timer that stopped anyway.
void TickPump::wait(HANDLE timer, HWND window, UINT message) {
    const HANDLE expiry[] = {m_stopEvent, timer};
    const HANDLE answer[] = {m_stopEvent, m_answeredEvent};
    for (;;) {
        if (WaitForMultipleObjects(2, expiry, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
            return;
        }
        if (!PostMessageW(window, message, 0, 0)) {
            return;
        }
        // The timer stays signalled until acknowledge() re-arms it: wait for that.
        if (WaitForMultipleObjects(2, answer, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
            return;
        }
    }
}

}  // namespace chronvane

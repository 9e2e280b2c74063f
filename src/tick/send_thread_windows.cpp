#include <windows.h>

#include <cstdint>

#include "send_thread.h"

namespace chronvane {

struct SendThread::Doorbell {
    HANDLE event;
};

void SendThread::DoorbellDeleter::operator()(Doorbell* doorbell) const {
    CloseHandle(doorbell->event);
    delete doorbell;
}

bool SendThread::makeDoorbell() {
    // Auto-reset: one wait answers any number of knocks.
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr) {
        m_lastError = lastSystemError();
        return false;
    }
    m_doorbell.reset(new Doorbell{event});
    return true;
}

void SendThread::knock() {
    SetEvent(m_doorbell->event);
}

SendThread::Wake SendThread::waitForTickOrKnock() {
    const char* failedCall = "";
    const TickWait woke = waitForTickOr(m_tick, reinterpret_cast<std::intptr_t>(m_doorbell->event),
                                        failedCall, m_lastError);
    if (woke == TickWait::other) {
        return Wake::knock;  // auto-reset: the wait that saw the knock has taken it
    }
    return woke == TickWait::tick ? Wake::tick : Wake::failed;
}

}  // namespace chronvane

#include <windows.h>

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
    for (;;) {
        // The timer is manual-reset and stays signalled until acknowledge() re-arms
        // it; a timer that could not be re-armed has stopped and has no handle.
        if (!m_tick.isRunning()) {
            m_lastError = m_tick.lastError();
            return Wake::failed;
        }
        const HANDLE handles[] = {m_doorbell->event,
                                  reinterpret_cast<HANDLE>(m_tick.nativeHandle())};
        const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0) {
            return Wake::knock;
        }
        if (woke != WAIT_OBJECT_0 + 1) {
            m_lastError = lastSystemError();
            return Wake::failed;
        }
        if (m_tick.acknowledge()) {
            return Wake::tick;
        }
    }
}

}  // namespace chronvane

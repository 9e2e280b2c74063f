#pragma once

#include <windows.h>

#include <thread>

#include "app/tick_source.h"
#include "core/system_error.h"

namespace chronvane {

// Carries the 100 ms tick into a window's message queue. The tick is a waitable
// timer on the wall clock's slots (TickSource), but a modal dialog's loop waits only
// for window messages, and it is Windows' loop, not ours. So a waiter thread waits
// on the timer and posts one message per expiry to the window; the window's
// procedure answers it with acknowledge() on its own thread, and only then does the
// waiter wait again. At most one tick message is ever queued, everything the
// controller sees happens on the user-interface thread, and the TickSource is only
// ever touched there.
class TickPump {
  public:
    TickPump();
    ~TickPump();
    TickPump(const TickPump&) = delete;
    TickPump& operator=(const TickPump&) = delete;

    // Starts the timer (periodMs 1 to 1000) and the waiter, which posts message to
    // window at each expiry. Returns false with the reason in lastError() when the
    // timer or the thread's events cannot be had; nothing is running then.
    bool start(HWND window, UINT message, int periodMs);
    // Stops the waiter (waiting for it) and releases the timer. Harmless when stopped.
    void stop();
    bool isRunning() const { return m_tick.isRunning(); }
    // See TickSource::setAdvance; before start().
    void setAdvance(int advanceMillis) { m_tick.setAdvance(advanceMillis); }
    // Call on the window's thread for every message the waiter posted. Returns true
    // when the controller should tick. Lets the waiter go on; a timer that could not
    // be re-armed stops the pump (isRunning() false, the reason in lastError()).
    bool acknowledge();
    SystemError lastError() const { return m_lastError; }

  private:
    void wait(HANDLE timer, HWND window, UINT message);
    void stopWaiter();

    TickSource m_tick;
    // Manual-reset: tells the waiter to end. Auto-reset: the window has answered.
    HANDLE m_stopEvent = nullptr;
    HANDLE m_answeredEvent = nullptr;
    std::thread m_waiter;
    SystemError m_lastError;
};

}  // namespace chronvane

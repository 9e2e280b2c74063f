#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "clock/clock_controller.h"
#include "clock/clock_window.h"
#include "formats/format_registry.h"
#include "core/system_error.h"
#include "tick_source.h"

namespace chronvane {

// How early the tick wakes before each change of second; see SendThread.
inline constexpr int sendWakeLeadMicros = 500;

// Wakes the tick early before each change of second and uses the lead to build
// that second's message, so that right after the change only the second is
// confirmed and the message written. An idle processor takes its time to wake for
// the tick (here up to milliseconds): the tick comes sendWakeLeadMicros early and
// spends the rest reading the clock until the second changes. Measured with 150,
// 300, 500, 1000 and 2000 us: 300 and more took the idle send time from p99 in
// milliseconds to tens of microseconds; each further 100 us of lead costs about
// 6 ms of processor time per minute, and 2000 did worse again. The spin is at most
// once a second. The tick also tells the controller at once when the wall clock is
// set, so that the step is logged with the time shown just before it, and ticks at
// once when the step landed just after a change of second not yet sent. For the
// console's one thread and the window's send thread alike.
void connectTick(TickSource& tick, ClockController& controller);

// Where a window and its send thread meet. The controller runs on the send thread
// and speaks to this as its window: the protocol is read from here (set by the
// user-interface thread), and what it shows (the log, the outcome of each open)
// is queued here in the order it happened. After each, notify() is called on the
// thread that queued it; the window answers it by taking the queue on its own
// thread (takeResults). Nothing here waits for the other thread but the short
// hold of one lock.
class WindowHandOver final : public ClockWindow {
  public:
    // One thing for the window to show, in order.
    struct Result {
        enum class Kind { log, portOpened, clockState };
        Kind kind = Kind::log;
        MessageLog::Lines lines{};  // Kind::log: all four lines, oldest first
        int portNumber = 0;         // Kind::portOpened
        std::string devicePath;
        PortFailure failure;
        ClockState clockState;  // Kind::clockState: the reading, once a second
    };

    // notify: called after each result is queued, on the thread that queued it;
    // it must only post (a queued call, a window message) and return.
    explicit WindowHandOver(std::function<void()> notify);

    // The window's side.
    void setProtocol(Protocol protocol) { m_protocol = protocol; }
    std::vector<Result> takeResults();

    // The controller's side (ClockWindow).
    Protocol selectedProtocol() const override { return m_protocol; }
    void showLog(const MessageLog& log) override;
    void portOpenResult(int portNumber, const std::string& devicePath,
                        PortFailure failure) override;
    void showClockState(const ClockState& state) override;

  private:
    void queue(Result result);

    std::function<void()> m_notify;
    std::atomic<Protocol> m_protocol{defaultProtocol};
    std::mutex m_mutex;
    std::vector<Result> m_results;
};

// A window's once-per-second path on a thread of its own: waits for the 100 ms
// tick (woken early before each change of second, see connectTick), reads the clock,
// decides, builds and writes through the controller, at real-time priority where
// the system allows it. The window never waits for the device, and a device that
// holds a write up never holds up the window. The operator's port choices reach
// the controller through selectPort, which only queues them for this thread.
// Before start() and after stop() the controller belongs to whoever holds it.
class SendThread {
  public:
    explicit SendThread(ClockController& controller);
    ~SendThread();
    SendThread(const SendThread&) = delete;
    SendThread& operator=(const SendThread&) = delete;

    // Starts the tick (periodMs, 1 to 1000) and the thread. False, with the reason
    // in lastError(), when either cannot be had; nothing runs then. Once started,
    // the thread asks for real-time treatment and says on standard error what it
    // goes without, as the console does.
    bool start(int periodMs);
    // Stops the thread, waiting for a send under way to end, and the tick. The port
    // stays as it was: the controller's holder closes it. Harmless when stopped.
    void stop();
    bool isRunning() const { return m_thread.joinable(); }
    // Every tick this many milliseconds before the wall clock's slots (see
    // TickSource::setAdvance); before start().
    void setAdvance(Advance advance) { m_tick.setAdvance(advance); }
    SystemError lastError() const { return m_lastError; }

    // Port n (1 to 4) chosen by the operator: handed to the thread, which carries
    // it out at once; called on the controller here while no thread runs.
    void selectPort(int n);

  private:
    // The thread's wait for the tick or for a knock (a request queued, or the
    // stop), per platform (send_thread_<platform>.cpp): an eventfd polled with the
    // timerfd on Linux, an event waited on with the timer on Windows.
    struct Doorbell;
    struct DoorbellDeleter {
        void operator()(Doorbell* doorbell) const;
    };
    enum class Wake { tick, knock, failed };
    // Makes m_doorbell; false with the reason in m_lastError.
    bool makeDoorbell();
    void knock();
    Wake waitForTickOrKnock();

    void run();
    // The requests queued since last time, in order; true when stop was asked.
    bool carryOutRequests();

    ClockController& m_controller;
    TickSource m_tick;
    std::unique_ptr<Doorbell, DoorbellDeleter> m_doorbell;
    std::thread m_thread;
    SystemError m_lastError;
    std::mutex m_mutex;
    std::vector<int> m_portRequests;
    bool m_stopRequested = false;
    // The thread ended by itself (its wait failed): no one takes requests any more.
    bool m_threadEnded = false;
};

}  // namespace chronvane

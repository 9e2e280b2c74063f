#include "send_thread.h"

#include <system_error>
#include <utility>

#include "process/console_output.h"
#include "realtime.h"
#include "process/program_name.h"

namespace chronvane {

void connectTick(TickSource& tick, ClockController& controller) {
    tick.setWakeLead(sendWakeLeadMicros);
    tick.setLeadAction([&controller](std::int64_t second) { controller.prepare(second); });
    tick.setClockSetAction([&controller] { return controller.onClockSet(); });
}

WindowHandOver::WindowHandOver(std::function<void()> notify) : m_notify(std::move(notify)) {}

std::vector<WindowHandOver::Result> WindowHandOver::takeResults() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return std::exchange(m_results, {});
}

void WindowHandOver::showLog(const MessageLog& log) {
    Result result;
    result.lines = log.lines();
    queue(std::move(result));
}

void WindowHandOver::portOpenResult(int portNumber, const std::string& devicePath,
                                    PortFailure failure) {
    Result result;
    result.kind = Result::Kind::portOpened;
    result.portNumber = portNumber;
    result.devicePath = devicePath;
    result.failure = failure;
    queue(std::move(result));
}

void WindowHandOver::showClockState(const ClockState& state) {
    Result result;
    result.kind = Result::Kind::clockState;
    result.clockState = state;
    queue(std::move(result));
}

void WindowHandOver::queue(Result result) {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_results.push_back(std::move(result));
    }
    if (m_notify) {
        m_notify();
    }
}

SendThread::SendThread(ClockController& controller) : m_controller(controller) {
    connectTick(m_tick, m_controller);
}

SendThread::~SendThread() {
    stop();
}

bool SendThread::start(int periodMs) {
    stop();
    if (!makeDoorbell()) {
        return false;
    }
    if (!m_tick.start(periodMs)) {
        m_lastError = m_tick.lastError();
        m_doorbell.reset();
        return false;
    }
    m_stopRequested = false;
    m_threadEnded = false;
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error& error) {
        // The only exception on this path: the system would not give a thread.
        m_lastError = SystemError{error.code().value()};
        m_tick.stop();
        m_doorbell.reset();
        return false;
    }
    m_lastError = SystemError{};
    return true;
}

void SendThread::stop() {
    if (m_thread.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stopRequested = true;
        }
        knock();
        m_thread.join();
    }
    m_tick.stop();
    m_doorbell.reset();
    // Choices the thread did not get to are carried out here, in order.
    std::vector<int> left;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        left.swap(m_portRequests);
    }
    for (const int n : left) {
        m_controller.selectPort(n);
    }
}

void SendThread::selectPort(int n) {
    bool queued = false;
    if (m_thread.joinable()) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_threadEnded) {
            m_portRequests.push_back(n);
            queued = true;
        }
    }
    if (queued) {
        knock();
    } else {
        m_controller.selectPort(n);
    }
}

bool SendThread::carryOutRequests() {
    std::vector<int> requests;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopRequested) {
            // Left for stop() to carry out after the join: none is lost.
            return true;
        }
        requests.swap(m_portRequests);
    }
    for (const int n : requests) {
        m_controller.selectPort(n);
    }
    return false;
}

void SendThread::run() {
    for (const std::string& note : requestRealTimeThread()) {
        writeIfReady(standardError, std::string(executableName) + ": " + note + "\n");
    }
    for (;;) {
        const Wake wake = waitForTickOrKnock();
        if (carryOutRequests()) {
            return;
        }
        if (wake == Wake::tick) {
            m_controller.onTick();
        } else if (wake == Wake::failed) {
            // Nothing left to wait on: the window shows no more messages, as with a
            // timer that stopped. Said once, like any other failure of the tick.
            writeIfReady(standardError, std::string(executableName) + ": the send thread stopped: " +
                                            errorText(m_lastError) + "\n");
            // From here on the operator's choices are carried out where they are made.
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_threadEnded = true;
            for (const int n : m_portRequests) {
                m_controller.selectPort(n);
            }
            m_portRequests.clear();
            return;
        }
    }
}

}  // namespace chronvane

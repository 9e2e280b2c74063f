#include "console_stand_in.h"

#include "process/console_output.h"
#include "serial/open_failure.h"

namespace chronvane {

ConsoleStandIn::ConsoleStandIn(TickSource& tick, int outFd, int errFd)
    : m_tick(tick), m_outFd(outFd), m_errFd(errFd) {}

// Output that cannot be written (a closed terminal, a full disk, a reader that
// stopped reading) must not stop the clock, so the console's own writes are best
// effort; what was dropped is owned up to once output flows again.
void ConsoleStandIn::showLog(const MessageLog& log) {
    if (!log.newest()) {
        return;
    }
    const LogEntry& entry = *log.newest();
    if (m_observer != nullptr) {
        m_observer->logEntry(entry);
        if (m_observer->tookLogLine(entry)) {
            return;
        }
    }
    if (!writeIfReady(m_outFd, entry.text + "\n")) {
        ++m_droppedLines;
        return;
    }
    if (m_droppedLines > 0 &&
        writeIfReady(m_errFd, std::to_string(m_droppedLines) +
                                  " log lines dropped: standard output was not being read\n")) {
        m_droppedLines = 0;
    }
}

void ConsoleStandIn::portOpenResult(int portNumber, const std::string& devicePath,
                                    PortFailure failure) {
    const bool repeat = failure.failed() && portNumber == m_reportedPort &&
                        devicePath == m_reportedPath && failure == m_reportedFailure;
    m_reportedPort = portNumber;
    m_reportedPath = devicePath;
    m_reportedFailure = failure;
    if (repeat) {
        return;
    }
    std::string text = "COM" + std::to_string(portNumber) + " is " + devicePath + "\n";
    if (failure.failed()) {
        text += devicePath + ": " + openFailureReason(failure) + "\n";
    }
    if (m_observer != nullptr) {
        m_observer->notice(text.substr(0, text.size() - 1));
    }
    writeIfReady(m_errFd, text);
}

void ConsoleStandIn::checkPortRadio(int number) {
    m_portNumber = number;
}

void ConsoleStandIn::checkProtocolRadio(Protocol protocol) {
    m_protocol = protocol;
}

void ConsoleStandIn::requestMinimize() {}

bool ConsoleStandIn::startTimer(int /*identifier*/, int periodMs) {
    return m_tick.start(periodMs);
}

void ConsoleStandIn::showMessageBox(const std::string& text) {
    if (m_observer != nullptr) {
        m_observer->notice(text);
    }
    writeIfReady(m_errFd, text + "\n");
}

}  // namespace chronvane

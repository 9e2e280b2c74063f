#include "console_window.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace chronvane {

std::string openFailureReason(int error) {
    std::string reason = std::strerror(error);
    switch (error) {
        case EACCES:
        case EPERM:
            reason += " (is your user in the dialout group?)";
            break;
        case ENOENT:
            reason += " (check --device)";
            break;
        case EBUSY:
            reason += " (another program is using it)";
            break;
        case ENOTTY:
            reason += " (not a serial device; check --device)";
            break;
        case EIO:
        case ENXIO:
        case ENODEV:
            reason += " (is the port or adapter really there?)";
            break;
        default:
            break;
    }
    return reason;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

ConsoleWindow::ConsoleWindow(TickSource& tick, int outFd, int errFd)
    : m_tick(tick), m_outFd(outFd), m_errFd(errFd) {}

bool ConsoleWindow::isEseSelected() const {
    return m_protocol == Protocol::EseRealTimeClock;
}

// Output that cannot be written (a closed terminal, a full disk) must not stop the
// clock, so the console's own writes are best effort.
void ConsoleWindow::showLog(const MessageLog& log) {
    writeAll(m_outFd, log.line(MessageLog::lineCount - 1) + "\n");
}

void ConsoleWindow::portOpenResult(int portNumber, const std::string& devicePath, int error) {
    const bool repeat = error != 0 && portNumber == m_reportedPort &&
                        devicePath == m_reportedPath && error == m_reportedError;
    m_reportedPort = portNumber;
    m_reportedPath = devicePath;
    m_reportedError = error;
    if (repeat) {
        return;
    }
    std::string text = "COM" + std::to_string(portNumber) + " is " + devicePath + "\n";
    if (error != 0) {
        text += devicePath + ": " + openFailureReason(error) + "\n";
    }
    writeAll(m_errFd, text);
}

void ConsoleWindow::checkPortRadio(int number) {
    m_portNumber = number;
}

void ConsoleWindow::checkProtocolRadio(Protocol protocol) {
    m_protocol = protocol;
}

void ConsoleWindow::requestMinimize() {}

bool ConsoleWindow::startTimer(int /*identifier*/, int periodMs) {
    return m_tick.start(periodMs);
}

void ConsoleWindow::showMessageBox(const std::string& text) {
    writeAll(m_errFd, text + "\n");
}

}  // namespace chronvane

#include "console_window.h"

#include <poll.h>
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

namespace {

// A pipe or socket that nobody drains (a pager left waiting, a journal that stopped
// reading) would block a write and, with it, the clock. Lines that cannot be taken
// now are dropped instead. A line is far shorter than the room a pipe, a socket or a
// terminal reports as writable, so a write after POLLOUT does not block.
bool writeIfReady(int fd, const std::string& text) {
    pollfd watch{fd, POLLOUT, 0};
    int ready;
    do {
        ready = poll(&watch, 1, 0);
    } while (ready < 0 && errno == EINTR);
    // Not ready: drop. An error or hang-up shows as ready and the write says why.
    return ready != 0 && writeAll(fd, text);
}

}  // namespace

ConsoleWindow::ConsoleWindow(TickSource& tick, int outFd, int errFd)
    : m_tick(tick), m_outFd(outFd), m_errFd(errFd) {}

bool ConsoleWindow::isEseSelected() const {
    return m_protocol == Protocol::EseRealTimeClock;
}

// Output that cannot be written (a closed terminal, a full disk, a reader that
// stopped reading) must not stop the clock, so the console's own writes are best
// effort; what was dropped is owned up to once output flows again.
void ConsoleWindow::showLog(const MessageLog& log) {
    if (!writeIfReady(m_outFd, log.line(MessageLog::lineCount - 1) + "\n")) {
        ++m_droppedLines;
        return;
    }
    if (m_droppedLines > 0 &&
        writeIfReady(m_errFd, std::to_string(m_droppedLines) +
                                  " log lines dropped: standard output was not being read\n")) {
        m_droppedLines = 0;
    }
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
    writeIfReady(m_errFd, text);
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
    writeIfReady(m_errFd, text + "\n");
}

}  // namespace chronvane

#include "line_reader.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "core/retry_on_interrupt.h"
#include "serial/raw_line.h"

namespace chronvane::monitor {

int openLine(const std::string& path, const LineSettings& line, SystemError& error) {
    const int fd = retryOnInterrupt(
        [&] { return ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0) {
        error = lastSystemError();
        return -1;
    }
    auto abandon = [&](SystemError reason) {
        ::close(fd);
        error = reason;
        return -1;
    };
    if (!isatty(fd)) {
        return abandon(SystemError{ENOTTY});
    }
    if (retryOnInterrupt([&] { return flock(fd, LOCK_EX | LOCK_NB); }) < 0) {
        return abandon(errno == EWOULDBLOCK ? SystemError{EBUSY} : lastSystemError());
    }
    if (ioctl(fd, TIOCEXCL) < 0) {
        return abandon(lastSystemError());
    }
    if (const SystemError reason = makeRawListener(fd, line); reason.failed()) {
        return abandon(reason);
    }
    // Bytes that arrive damaged are kept, marked, rather than dropped or passed on
    // as if sound: the decoder names the fault on the message they belong to.
    termios settings{};
    if (tcgetattr(fd, &settings) < 0) {
        return abandon(lastSystemError());
    }
    settings.c_iflag |= PARMRK | INPCK;
    settings.c_iflag &= ~static_cast<tcflag_t>(IGNPAR | ISTRIP);
    if (retryOnInterrupt([&] { return tcsetattr(fd, TCSANOW, &settings); }) < 0) {
        return abandon(lastSystemError());
    }
    tcflush(fd, TCIFLUSH);
    return fd;
}

namespace {

bool isPseudoTerminal(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && isPseudoTerminalDevice(info.st_rdev);
}

}  // namespace

SystemError requestLowLatency(int fd) {
    if (isPseudoTerminal(fd)) {
        return {};
    }
    serial_struct serial{};
    if (retryOnInterrupt([&] { return ioctl(fd, TIOCGSERIAL, &serial); }) < 0) {
        return lastSystemError();
    }
    if ((serial.flags & ASYNC_LOW_LATENCY) != 0) {
        return {};
    }
    serial.flags |= ASYNC_LOW_LATENCY;
    if (retryOnInterrupt([&] { return ioctl(fd, TIOCSSERIAL, &serial); }) < 0) {
        return lastSystemError();
    }
    return {};
}

void closeLine(int fd) {
    ioctl(fd, TIOCNXCL);
    ::close(fd);
}

}  // namespace chronvane::monitor

#include "line_reader.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "core/retry_on_interrupt.h"
#include "serial/raw_line.h"

namespace chronvane::monitor {

int openLine(const std::string& path) {
    const int fd = retryOnInterrupt(
        [&] { return ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0) {
        return -1;
    }
    auto abandon = [&](int error) {
        ::close(fd);
        errno = error;
        return -1;
    };
    if (!isatty(fd)) {
        return abandon(ENOTTY);
    }
    if (retryOnInterrupt([&] { return flock(fd, LOCK_EX | LOCK_NB); }) < 0) {
        return abandon(errno == EWOULDBLOCK ? EBUSY : errno);
    }
    if (ioctl(fd, TIOCEXCL) < 0) {
        return abandon(errno);
    }
    if (const SystemError error = makeRawListener(fd, timeLine); error.failed()) {
        return abandon(error.code);
    }
    tcflush(fd, TCIFLUSH);
    return fd;
}

namespace {

// Unix 98 pseudo-terminal device ends have majors 136 to 143, the old BSD ones 3.
bool isPseudoTerminal(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
        return false;
    }
    const unsigned int deviceMajor = major(info.st_rdev);
    return (deviceMajor >= 136 && deviceMajor <= 143) || deviceMajor == 3;
}

}  // namespace

int requestLowLatency(int fd) {
    if (isPseudoTerminal(fd)) {
        return 0;
    }
    serial_struct serial{};
    if (retryOnInterrupt([&] { return ioctl(fd, TIOCGSERIAL, &serial); }) < 0) {
        return errno;
    }
    if ((serial.flags & ASYNC_LOW_LATENCY) != 0) {
        return 0;
    }
    serial.flags |= ASYNC_LOW_LATENCY;
    if (retryOnInterrupt([&] { return ioctl(fd, TIOCSSERIAL, &serial); }) < 0) {
        return errno;
    }
    return 0;
}

void closeLine(int fd) {
    ioctl(fd, TIOCNXCL);
    ::close(fd);
}

}  // namespace chronvane::monitor

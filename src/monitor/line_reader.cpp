#include "line_reader.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
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
    if (const SystemError error = makeRawListener(fd); error.failed()) {
        return abandon(error.code);
    }
    tcflush(fd, TCIFLUSH);
    return fd;
}

void closeLine(int fd) {
    ioctl(fd, TIOCNXCL);
    ::close(fd);
}

}  // namespace chronvane::monitor

#include "raw_line.h"

#include <termios.h>

#include "core/retry_on_interrupt.h"

namespace chronvane {

SystemError makeRawListener(int fd) {
    termios settings{};
    if (retryOnInterrupt([&] { return tcgetattr(fd, &settings); }) < 0) {
        return lastSystemError();
    }
    cfmakeraw(&settings);
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (retryOnInterrupt([&] { return tcsetattr(fd, TCSANOW, &settings); }) < 0) {
        return lastSystemError();
    }
    return SystemError{};
}

}  // namespace chronvane

#include "raw_line.h"

#include <termios.h>

#include "retry_on_interrupt.h"

namespace chronvane {

bool makeRawListener(int fd) {
    termios settings{};
    if (retryOnInterrupt([&] { return tcgetattr(fd, &settings); }) < 0) {
        return false;
    }
    cfmakeraw(&settings);
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return retryOnInterrupt([&] { return tcsetattr(fd, TCSANOW, &settings); }) == 0;
}

}  // namespace chronvane

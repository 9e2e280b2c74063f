#include "raw_line.h"

#include <sys/sysmacros.h>

#include <cerrno>

#include "core/retry_on_interrupt.h"

namespace chronvane {
namespace {

speed_t speedFor(int baudRate) {
    switch (baudRate) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

tcflag_t characterSize(int dataBits) {
    switch (dataBits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

constexpr tcflag_t framingBits = CSIZE | PARENB | CSTOPB;

}  // namespace

bool setLineFraming(termios& settings, const LineSettings& line) {
    const speed_t speed = speedFor(line.baudRate);
    if (speed == B0 || line.dataBits < 5 || line.dataBits > 8) {
        return false;
    }
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    tcflag_t framing = characterSize(line.dataBits);
    if (line.parity != Parity::None) {
        framing |= PARENB;
        settings.c_cflag = line.parity == Parity::Odd ? settings.c_cflag | PARODD
                                                      : settings.c_cflag & ~static_cast<tcflag_t>(PARODD);
    }
    if (line.stopBits == StopBits::Two) {
        framing |= CSTOPB;
    }
    settings.c_cflag = (settings.c_cflag & ~framingBits) | framing;
    return true;
}

bool lineFramingTook(const termios& wanted, const termios& actual) {
    const tcflag_t checked =
        (wanted.c_cflag & PARENB) != 0 ? framingBits | static_cast<tcflag_t>(PARODD) : framingBits;
    return (actual.c_cflag & checked) == (wanted.c_cflag & checked) &&
           cfgetospeed(&actual) == cfgetospeed(&wanted);
}

SystemError makeRawListener(int fd, const LineSettings& line) {
    termios settings{};
    if (retryOnInterrupt([&] { return tcgetattr(fd, &settings); }) < 0) {
        return lastSystemError();
    }
    cfmakeraw(&settings);
    if (!setLineFraming(settings, line)) {
        return SystemError{EINVAL};
    }
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (retryOnInterrupt([&] { return tcsetattr(fd, TCSANOW, &settings); }) < 0) {
        return lastSystemError();
    }
    return SystemError{};
}

// Unix 98 pseudo-terminal device ends have majors 136 to 143, the old BSD ones 3.
bool isPseudoTerminalDevice(dev_t device) {
    const unsigned int deviceMajor = major(device);
    return (deviceMajor >= 136 && deviceMajor <= 143) || deviceMajor == 3;
}

}  // namespace chronvane

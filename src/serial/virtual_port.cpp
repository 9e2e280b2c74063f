#include "virtual_port.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <utility>

#include "core/retry_on_interrupt.h"
#include "raw_line.h"

namespace chronvane {

VirtualPort::VirtualPort(int masterFd, int readerFd, std::string readerPath)
    : m_masterFd(masterFd), m_readerFd(readerFd), m_readerPath(std::move(readerPath)) {}

VirtualPort::~VirtualPort() {
    // Close the reader end first: the master's close then hangs up any reader.
    ::close(m_readerFd);
    ::close(m_masterFd);
}

std::shared_ptr<VirtualPort> VirtualPort::create(SystemError& error) {
    int masterFd = -1;
    int readerFd = -1;
    auto fail = [&](SystemError reason) -> std::shared_ptr<VirtualPort> {
        if (readerFd >= 0) {
            ::close(readerFd);
        }
        if (masterFd >= 0) {
            ::close(masterFd);
        }
        error = reason;
        return nullptr;
    };

    masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (masterFd < 0) {
        return fail(lastSystemError());
    }
    if (grantpt(masterFd) != 0 || unlockpt(masterFd) != 0) {
        return fail(lastSystemError());
    }
    std::array<char, 128> name{};
    if (const int result = ptsname_r(masterFd, name.data(), name.size()); result != 0) {
        return fail(SystemError{result});
    }
    std::string readerPath(name.data());
    // O_NONBLOCK: this descriptor is never read; it only keeps the reader end alive.
    readerFd = retryOnInterrupt(
        [&] { return ::open(readerPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
    if (readerFd < 0) {
        return fail(lastSystemError());
    }
    if (const SystemError reason = makeRawListener(readerFd, timeLine); reason.failed()) {
        return fail(reason);
    }
    return std::shared_ptr<VirtualPort>(new VirtualPort(masterFd, readerFd, std::move(readerPath)));
}

std::string VirtualPort::createFailureText(SystemError error) {
    return "no pseudo-terminal could be made: " + errorText(error);
}

SystemError VirtualPort::discardUnread() const {
    if (retryOnInterrupt([&] { return tcflush(m_readerFd, TCIFLUSH); }) < 0) {
        return lastSystemError();
    }
    return SystemError{};
}

}  // namespace chronvane

#include "virtual_port.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

#include "raw_line.h"
#include "retry_on_interrupt.h"

namespace chronvane {

VirtualPort::VirtualPort(int masterFd, int readerFd, std::string readerPath)
    : m_masterFd(masterFd), m_readerFd(readerFd), m_readerPath(std::move(readerPath)) {}

VirtualPort::~VirtualPort() {
    // Close the reader end first: the master's close then hangs up any reader.
    ::close(m_readerFd);
    ::close(m_masterFd);
}

std::shared_ptr<VirtualPort> VirtualPort::create(int* error) {
    int masterFd = -1;
    int readerFd = -1;
    auto fail = [&](int code) -> std::shared_ptr<VirtualPort> {
        if (readerFd >= 0) {
            ::close(readerFd);
        }
        if (masterFd >= 0) {
            ::close(masterFd);
        }
        if (error != nullptr) {
            *error = code;
        }
        return nullptr;
    };

    masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (masterFd < 0) {
        return fail(errno);
    }
    if (grantpt(masterFd) != 0 || unlockpt(masterFd) != 0) {
        return fail(errno);
    }
    std::array<char, 128> name{};
    if (const int result = ptsname_r(masterFd, name.data(), name.size()); result != 0) {
        return fail(result);
    }
    std::string readerPath(name.data());
    // O_NONBLOCK: this descriptor is never read; it only keeps the reader end alive.
    readerFd = retryOnInterrupt(
        [&] { return ::open(readerPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
    if (readerFd < 0) {
        return fail(errno);
    }
    if (!makeRawListener(readerFd)) {
        return fail(errno);
    }
    return std::shared_ptr<VirtualPort>(new VirtualPort(masterFd, readerFd, std::move(readerPath)));
}

bool VirtualPort::discardUnread() const {
    return retryOnInterrupt([&] { return tcflush(m_readerFd, TCIFLUSH); }) == 0;
}

}  // namespace chronvane

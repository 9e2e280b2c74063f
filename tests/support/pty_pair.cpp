#include "pty_pair.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "timed_read.h"

namespace chronvane::test {

PtyPair::PtyPair() {
    char name[256] = {};
    if (openpty(&m_controllerFd, &m_deviceFd, name, nullptr, nullptr) != 0) {
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    }
    m_devicePath = name;
    fcntl(m_controllerFd, F_SETFD, FD_CLOEXEC);
    fcntl(m_deviceFd, F_SETFD, FD_CLOEXEC);
    fcntl(m_controllerFd, F_SETFL, fcntl(m_controllerFd, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    closeController();
    closeDevice();
}

std::vector<std::uint8_t> PtyPair::read(std::size_t count, std::chrono::milliseconds timeout) {
    if (m_controllerFd < 0) {
        return {};
    }
    return readUpTo(m_controllerFd, count, std::chrono::steady_clock::now() + timeout);
}

std::vector<std::uint8_t> PtyPair::drain() {
    return read(SIZE_MAX, std::chrono::milliseconds(50));
}

void PtyPair::closeController() {
    if (m_controllerFd >= 0) {
        ::close(m_controllerFd);
        m_controllerFd = -1;
    }
}

void PtyPair::closeDevice() {
    if (m_deviceFd >= 0) {
        ::close(m_deviceFd);
        m_deviceFd = -1;
    }
}

}  // namespace chronvane::test

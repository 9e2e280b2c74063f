#include "pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

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
    std::vector<std::uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count && m_controllerFd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd watch{m_controllerFd, POLLIN, 0};
        if (poll(&watch, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        std::uint8_t buffer[512];
        const ssize_t n = ::read(m_controllerFd, buffer, sizeof buffer);
        if (n > 0) {
            out.insert(out.end(), buffer, buffer + n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        }
    }
    return out;
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

#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace chronvane::test {

// A pseudo-terminal standing in for a serial line: the program under test opens
// devicePath() as its "serial device", and the test reads what arrives at the
// other end from the controller side. No real serial device is ever touched.
class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // The device end, e.g. /dev/pts/7.
    const std::string& devicePath() const { return m_devicePath; }
    int controllerFd() const { return m_controllerFd; }
    int deviceFd() const { return m_deviceFd; }

    // Reads whatever arrives within timeout, stopping early once count bytes came.
    std::vector<std::uint8_t> read(
        std::size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(500));
    // Everything pending now, without waiting.
    std::vector<std::uint8_t> drain();
    // Closes the controller end: the device end then sees a hang-up.
    void closeController();
    // Closes the test's own descriptor of the device end (the device stays usable).
    void closeDevice();

  private:
    int m_controllerFd = -1;
    int m_deviceFd = -1;
    std::string m_devicePath;
};

}  // namespace chronvane::test

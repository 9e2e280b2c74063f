#pragma once

#include <signal.h>

namespace chronvane {

// SIGINT, SIGTERM and SIGHUP, delivered as a readable descriptor, so that the
// window can close in order (port closed, exclusive use given up) instead of the
// process dying with the device still marked exclusive. Make it before
// QApplication: the signals are blocked in the calling thread, and every thread Qt
// starts afterwards inherits that. The old mask comes back on destruction.
class StopSignals {
  public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // -1 when the signals could not be set up (they then act as they always do);
    // error() says why.
    int fd() const { return m_fd; }
    int error() const { return m_error; }

    // Takes every pending stop signal off the descriptor; true when there was one.
    bool consume();

  private:
    sigset_t m_oldMask{};
    bool m_blocked = false;
    int m_fd = -1;
    int m_error = 0;
};

}  // namespace chronvane

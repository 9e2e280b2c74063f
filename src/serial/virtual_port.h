#pragma once

#include <memory>
#include <string>

#include "core/system_error.h"

namespace chronvane {

// A pseudo-terminal standing in for a serial port, so that the program can be watched
// without any cable: the program writes to the controlling (master) end as to any
// device, and readers open readerPath(), e.g. /dev/pts/3.
//
// Made once per virtual COM at start-up and shared through the DeviceMap, so that the
// reader path stays the same while the port is closed and opened again.
// POSIX only (virtual_port.cpp); other platforms refuse (virtual_port_<platform>.cpp). It keeps a
// descriptor of the reader end itself: the reader end then never hangs up when a
// reader goes away, and its line settings (raw, timeLine) stay as set here.
class VirtualPort {
  public:
    // Opens a new pseudo-terminal pair and puts the reader end in raw mode, framed
    // as timeLine (no echo, no CR/LF translation: the 8-bit message carries both as
    // data). On failure returns null, releases what it had opened and stores the
    // reason in error.
    static std::shared_ptr<VirtualPort> create(SystemError& error);
    // What to tell the operator when create failed with error: one line, no newline.
    // Where the platform has no pseudo-terminals at all (virtual_port_windows.cpp),
    // create always fails and this says what to use instead.
    static std::string createFailureText(SystemError error);

    ~VirtualPort();
    VirtualPort(const VirtualPort&) = delete;
    VirtualPort& operator=(const VirtualPort&) = delete;

    // The path readers open, e.g. /dev/pts/3.
    const std::string& readerPath() const { return m_readerPath; }
    // The master end: non-blocking, close-on-exec. Owned here; callers dup it.
    int masterFd() const { return m_masterFd; }

    // Throws away whatever no reader has taken yet. Called before each message, so
    // that with nobody reading the pseudo-terminal's buffer never fills (which would
    // make writes fail) and a reader that comes late starts with the current second.
    // Returns the flush's failure, if any.
    SystemError discardUnread() const;

  private:
    VirtualPort(int masterFd, int readerFd, std::string readerPath);

    int m_masterFd;
    int m_readerFd;
    std::string m_readerPath;
};

}  // namespace chronvane

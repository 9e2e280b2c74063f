#pragma once

#include <string>

#include "clock.h"
#include "clock_window.h"
#include "message_log.h"
#include "serial/serial_port.h"

namespace chronvane {

// The state behind the window: decides at each tick whether a new second has begun
// and, if so, sends one time message and logs it; carries out port selection.
// Knows nothing of any window toolkit: the clock and the window are injected.
class ClockController {
  public:
    static constexpr int baudRate = 9600;

    ClockController(Clock& clock, ClockWindow& window, DeviceMap devices = DeviceMap{});

    // Makes COMn (n = 1 to 4) the active port: closes the current one, opens COMn,
    // logs the outcome. Choosing the port that is already open does nothing.
    void selectPort(int n);
    // One timer expiry: sends at most one message, only when the second changed.
    void onTick();

    const std::string& portName() const { return m_portName; }
    const MessageLog& log() const { return m_log; }
    int lastSecond() const { return m_lastSecond; }
    const SerialPort& port() const { return m_port; }
    // True after a failed write, until the device has been opened again.
    bool isRecovering() const { return m_recovering; }

  private:
    bool openPort(int index);
    void tryRecovery();
    void transmitted(bool sent, const std::string& what);
    void appendLog(std::string line);

    Clock& m_clock;
    ClockWindow& m_window;
    // Outside 0 to 59 so that the very first tick always sends.
    int m_lastSecond = -1;
    std::string m_portName;
    SerialPort m_port;
    MessageLog m_log;
    // A device that went away (a USB adapter pulled out) is reopened once a second
    // until it answers again; only the first failed attempt is logged.
    bool m_recovering = false;
    bool m_recoveryFailureLogged = false;
};

}  // namespace chronvane

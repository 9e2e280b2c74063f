#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "console/console_observer.h"

namespace chronvane {

// Tells the service manager that started the console program (systemd, through the
// socket that NOTIFY_SOCKET names) when it is ready, how it is doing and that its
// tick is alive: READY=1 once started, WATCHDOG=1 after every second handled (sent
// or not), STATUS= (serviceStatusLine) whenever that line changes, so at most once a
// second, and STOPPING=1 on the way out. Without a service manager every call does
// nothing. The window never notifies.
// Linux only (service_notifier_linux.cpp, libsystemd's sd_notify); Windows has its
// own service manager and an observer of its own.
class ServiceNotifier final : public ConsoleObserver {
  public:
    void started(const ClockController& controller) override;
    void tickHandled(const ClockController& controller) override;
    void stopping() override;

  private:
    // The second last reported as handled: ticks come ten times a second, the
    // watchdog hears of each second once.
    std::optional<std::int64_t> m_handledSecond;
    // The status line last sent, so that an unchanged one is not sent again.
    std::string m_sentStatus;
};

}  // namespace chronvane

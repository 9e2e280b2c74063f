#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "console/console_observer.h"
#include "serial/device_map.h"

namespace chronvane {

// Tells the service manager that started the console program (systemd, through the
// socket that NOTIFY_SOCKET names) when it is ready, how it is doing and that its
// tick is alive: READY=1 once started, WATCHDOG=1 after every second handled (sent
// or not), STATUS= (serviceStatusLine) whenever that line changes, so at most once a
// second, and STOPPING=1 on the way out. Without a service manager every call does
// nothing. The window never notifies.
//
// When standard output is the journal's stream (JOURNAL_STREAM names it, as
// systemd sets it for a unit), every event (all log lines but "Transmitted", and
// the start and the stop) goes to the journal as an entry of its own through
// sd_journal_send instead: the same text as MESSAGE=, with MESSAGE_ID= (event_ids.h),
// CHRONVANE32_EVENT= (logKindName, "started", "stopped"), and for a port's events
// DEVICE= ("COM1") and DEVICE_PATH=. Such a line is then not written to standard
// output too, so the journal holds each event once; anywhere else (a terminal, a
// pipe) standard output has every line as before and the journal nothing.
// Linux only (service_notifier_linux.cpp, libsystemd's sd_notify and sd_journal);
// Windows has its own service manager and an observer of its own.
class ServiceNotifier final : public ConsoleObserver {
  public:
    // devices: which device each COM name stands for, for the journal's entries.
    explicit ServiceNotifier(DeviceMap devices = DeviceMap{});

    void started(const ClockController& controller) override;
    void tickHandled(const ClockController& controller) override;
    void logEntry(const LogEntry& entry) override;
    bool tookLogLine(const LogEntry& entry) const override;
    void stopping() override;

  private:
    DeviceMap m_devices;
    // Standard output is the journal's stream: events go to the journal directly.
    bool m_journal = false;
    // The line logEntry filed last, which standard output then leaves out.
    std::optional<LogEntry> m_filed;
    // The port the start found active, which the stop concerns too.
    std::optional<int> m_port;
    // The second last reported as handled: ticks come ten times a second, the
    // watchdog hears of each second once.
    std::optional<std::int64_t> m_handledSecond;
    // The status line last sent, so that an unchanged one is not sent again.
    std::string m_sentStatus;
};

}  // namespace chronvane

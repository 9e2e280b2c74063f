#pragma once

#include <string>

#include "console/console_observer.h"

namespace chronvane {

// Windows only. The console program's log, as the system's Event Log keeps it
// under the source "Chronvane32": for a service, which has no one reading its
// standard output. One entry per event worth keeping (the start, the stop, a port
// opened, not opened, lost or back, a change of the clock's state), never one per
// second: the "Transmitted" lines stay out. What the console writes to standard
// error about a log line (which device, why it failed) goes into that line's
// entry, after it. Writing is best effort: an Event Log that refuses an entry
// never stops the clock.
class EventLogWriter final : public ConsoleObserver {
  public:
    // who: how the entries name the program, e.g. "Service Chronvane32-COM1".
    explicit EventLogWriter(std::string who);
    ~EventLogWriter() override;
    EventLogWriter(const EventLogWriter&) = delete;
    EventLogWriter& operator=(const EventLogWriter&) = delete;

    void started(const ClockController& controller) override;
    void logEntry(const LogEntry& entry) override;
    void notice(const std::string& text) override;
    void stopping() override;

    // An entry of its own, e.g. why the service could not run at all.
    void reportError(const std::string& text);

  private:
    void report(unsigned short type, unsigned long eventId, const std::string& text);
    // Notices that came before any log line (start-up), as an entry of their own.
    void flushNotices();

    std::string m_who;
    void* m_source = nullptr;
    std::string m_pendingNotices;
};

// The Event Log source's name, and the registry key under which it is registered
// (below HKEY_LOCAL_MACHINE), with this program as its message file.
inline constexpr const wchar_t* eventSourceName = L"Chronvane32";
inline constexpr const wchar_t* eventSourceKey =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Chronvane32";

}  // namespace chronvane

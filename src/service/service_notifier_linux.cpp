#include "service_notifier.h"

#include <sys/stat.h>
#include <sys/uio.h>
#include <syslog.h>
#include <systemd/sd-daemon.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "clock/clock_controller.h"
#include "event_ids.h"
#include "process/program_name.h"
#include "service_status.h"

namespace chronvane {
namespace {

// sd_notify looks this up too; asking first spares building the message every
// second when no service manager listens.
bool managerListens() {
    return std::getenv("NOTIFY_SOCKET") != nullptr;
}

// A notification that fails is no reason to stop the clock: a manager that misses
// READY fails the start, one that misses WATCHDOG restarts the program, and either
// says why in its own log.
void notify(const std::string& message) {
    sd_notify(0, message.c_str());
}

// systemd's documented test: JOURNAL_STREAM holds the device and inode of the
// stream it connected, which standard output is unless someone redirected it.
bool standardOutputIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    unsigned long long device = 0;
    unsigned long long inode = 0;
    struct stat out {};
    return stream != nullptr && std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 &&
           fstat(STDOUT_FILENO, &out) == 0 && out.st_dev == device && out.st_ino == inode;
}

// One entry with its fields; false when the journal did not take it.
bool sendToJournal(const EventIds& ids, std::string_view event, int priority,
                   const std::string& text, const std::string& port, const std::string& path) {
    std::vector<std::string> fields{
        "MESSAGE=" + text,
        "MESSAGE_ID=" + std::string(ids.messageId),
        "PRIORITY=" + std::to_string(priority),
        "SYSLOG_IDENTIFIER=" + std::string(executableName),
        "CHRONVANE32_EVENT=" + std::string(event),
    };
    if (!port.empty()) {
        fields.push_back("DEVICE=" + port);
    }
    if (!path.empty()) {
        fields.push_back("DEVICE_PATH=" + path);
    }
    std::vector<iovec> parts;
    for (std::string& field : fields) {
        parts.push_back(iovec{field.data(), field.size()});
    }
    return sd_journal_sendv(parts.data(), static_cast<int>(parts.size())) >= 0;
}

}  // namespace

ServiceNotifier::ServiceNotifier(DeviceMap devices)
    : m_devices(std::move(devices)), m_journal(standardOutputIsJournal()) {}

void ServiceNotifier::logEntry(const LogEntry& entry) {
    m_filed.reset();
    const std::optional<EventIds> ids = eventIds(entry.kind);
    if (!m_journal || !ids) {
        return;
    }
    const std::optional<int> index = DeviceMap::indexOfName(entry.port);
    const std::string path = index ? m_devices.path(*index) : std::string();
    if (sendToJournal(*ids, logKindName(entry.kind), isTrouble(entry.kind) ? LOG_WARNING : LOG_INFO,
                      entry.text, entry.port, path)) {
        m_filed = entry;
    }
}

bool ServiceNotifier::tookLogLine(const LogEntry& entry) const {
    return m_filed == entry;
}

void ServiceNotifier::started(const ClockController& controller) {
    m_port = controller.activePort();
    if (m_journal) {
        sendToJournal(startedEventIds, "started", LOG_INFO, std::string(executableName) + " started.",
                      m_port ? DeviceMap::portName(*m_port) : std::string(),
                      controller.activeDevicePath());
    }
    if (!managerListens()) {
        return;
    }
    m_handledSecond = controller.lastSecond();
    m_sentStatus = serviceStatusLine(controller);
    notify("READY=1\nSTATUS=" + m_sentStatus);
}

void ServiceNotifier::tickHandled(const ClockController& controller) {
    if (!managerListens() || controller.lastSecond() == m_handledSecond) {
        return;
    }
    m_handledSecond = controller.lastSecond();
    std::string message = "WATCHDOG=1";
    std::string line = serviceStatusLine(controller);
    if (line != m_sentStatus) {
        message += "\nSTATUS=" + line;
        m_sentStatus = std::move(line);
    }
    notify(message);
}

void ServiceNotifier::stopping() {
    if (m_journal) {
        sendToJournal(stoppedEventIds, "stopped", LOG_INFO,
                      std::string(executableName) + " stopping: the port is being closed.",
                      m_port ? DeviceMap::portName(*m_port) : std::string(),
                      m_port ? m_devices.path(*m_port) : std::string());
    }
    if (managerListens()) {
        notify("STOPPING=1");
    }
}

}  // namespace chronvane

#include "service_notifier.h"

#include <systemd/sd-daemon.h>

#include <cstdlib>

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

}  // namespace

void ServiceNotifier::started(const ClockController& controller) {
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
    if (managerListens()) {
        notify("STOPPING=1");
    }
}

}  // namespace chronvane

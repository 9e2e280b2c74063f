#include "service_status.h"

#include <cstdio>

#include "serial/port_failure.h"

namespace chronvane {
namespace {

std::string activityText(const ClockController& controller) {
    switch (controller.portActivity()) {
        case ClockController::PortActivity::Sending:
            // Open and ready, but --wait-for-sync holds every message back.
            return controller.isWaitingForSync() ? "waiting for the clock" : "sending";
        case ClockController::PortActivity::HeldUp:
            return "held up by flow control";
        case ClockController::PortActivity::Reopening:
            return "reopening";
        case ClockController::PortActivity::CannotOpen:
        case ClockController::PortActivity::NoPort:
            break;
    }
    return "cannot open (" + portFailureText(controller.port().lastFailure()) + ")";
}

// As the monitor's report names it.
std::string protocolText(Protocol protocol) {
    return std::string(namesOf(protocol).reportLabel);
}

std::string lastSentText(const std::optional<LocalTime>& time) {
    if (!time) {
        return "nothing sent yet";
    }
    char text[32];
    std::snprintf(text, sizeof text, "last sent %02d:%02d:%02d", time->hour, time->minute,
                  time->second);
    return text;
}

// The controller's own reading from after the last message left: the status
// never asks the kernel a second time in a second.
std::string clockText(const std::optional<ClockState>& state) {
    return state ? clockStateSummary(*state) : "clock not read yet";
}

}  // namespace

std::string serviceStatusLine(const ClockController& controller) {
    return controller.activeDevicePath() + ": " + activityText(controller) + "; " +
           protocolText(controller.protocol()) + "; " + lastSentText(controller.lastSent()) + "; " +
           clockText(controller.clockState());
}

}  // namespace chronvane

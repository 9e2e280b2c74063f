#include "service_status.h"

#include <cstdio>

#include "formats/clock_text.h"
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

std::string lastSentText(const std::optional<TimeReading>& time) {
    if (!time) {
        return "nothing sent yet";
    }
    return "last sent " + clockText(*time);
}

// The controller's own reading from after the last message left: the status
// never asks the kernel a second time in a second.
std::string clockStateText(const std::optional<ClockState>& state) {
    return state ? clockStateSummary(*state) : "clock not read yet";
}

}  // namespace

std::string serviceStatusLine(const ClockController& controller) {
    return controller.activeDevicePath() + ": " + activityText(controller) + "; " +
           protocolText(controller.protocol()) + "; " + lastSentText(controller.lastSent()) + "; " +
           clockStateText(controller.clockState());
}

}  // namespace chronvane

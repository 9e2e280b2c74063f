#include "start_sequence.h"

#include "start_options.h"

namespace chronvane {

void runStartSequence(std::string& commandLine, StartWindow& window, ClockController& controller) {
    const StartOptions options = readStartOptions(commandLine);
    window.checkPortRadio(options.portNumber);
    controller.selectPort(options.portNumber);
    window.checkProtocolRadio(options.protocol);
    if (options.minimize) {
        window.requestMinimize();
    }
    if (!window.startTimer(tickTimerId, tickPeriodMs)) {
        window.showMessageBox(noTimersText);
    }
}

void applyOptions(const ProgramOptions& options, ClockStateReader& clockState,
                  ClockController& controller) {
    controller.setFlowControl(options.flow);
    controller.setClockStateReader(&clockState);
    controller.setWaitForSync(options.waitForSync);
    controller.setFormatSettings(options.formatSettings);
}

}  // namespace chronvane

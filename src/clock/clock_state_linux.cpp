#include <sys/timex.h>

#include "clock_state.h"
#include "core/system_error.h"

namespace chronvane {

SystemClockState::SystemClockState() = default;

ClockState SystemClockState::read() {
    // No mode bits: a pure read, which the kernel allows without any privilege.
    timex tx{};
    tx.modes = 0;
    const int result = adjtimex(&tx);
    ClockState state;
    if (result < 0) {
        state.unknownReason = "adjtimex: " + errorText(lastSystemError());
        return state;
    }
    // The bound alone decides, as the kernel's own daemons take it: a daemon that
    // does not keep the hardware clock (chrony without rtcsync) leaves STA_UNSYNC
    // set on a clock it keeps well.
    state.sync = tx.maxerror < unsynchronisedBoundMicros ? ClockState::Sync::Synchronised
                                                         : ClockState::Sync::NotSynchronised;
    state.estimatedErrorMicros = tx.esterror;
    state.maxErrorMicros = tx.maxerror;
    // The result hides TIME_INS and TIME_DEL behind TIME_ERROR while STA_UNSYNC is
    // set, yet the kernel still inserts the second; the status bits say it either way.
    if (result == TIME_INS || (tx.status & STA_INS) != 0) {
        state.leap = ClockState::Leap::Insert;
    } else if (result == TIME_DEL || (tx.status & STA_DEL) != 0) {
        state.leap = ClockState::Leap::Delete;
    }
    return state;
}

}  // namespace chronvane

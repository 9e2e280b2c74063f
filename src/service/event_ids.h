#pragma once

#include <optional>
#include <string_view>

#include "clock/message_log.h"

namespace chronvane {

// What each event is called where the system keeps its log: the journal's
// MESSAGE_ID (128 bits in hex, as systemd-id128 writes them) and the Event Log's
// event ID, one per kind of log line and one each for the program's start and
// stop. Alerts and filters key on these, so an id once given never changes and
// is never given to anything else; a new kind gets new ids (the switch below
// must name it, or the build fails). The texts may be reworded, the ids not.
struct EventIds {
    std::string_view messageId;
    unsigned long windowsEventId;
};

inline constexpr EventIds startedEventIds{"5d03eebf955f4810b89f5c33f9728c59", 10};
inline constexpr EventIds stoppedEventIds{"0e61cbd51875496f86b2d8b945d45409", 11};

// None for the "Transmitted" lines: once a second while all is well, they are
// no event, and neither log files them.
constexpr std::optional<EventIds> eventIds(LogKind kind) {
    switch (kind) {
        case LogKind::Opened:
            return EventIds{"34c5ef9052f240b4a7563c4b49ed321f", 20};
        case LogKind::OpenFailed:
            return EventIds{"812820b0fe3442f89b16f43116093c9f", 21};
        case LogKind::Transmitted:
            return std::nullopt;
        case LogKind::TransmissionFailed:
            return EventIds{"316ec2faccfb463e9b4fbe35407e63fc", 22};
        case LogKind::ClockSynchronised:
            return EventIds{"63dab2a7abb44e3891eb88013c6c0b9f", 23};
        case LogKind::ClockNotSynchronised:
            return EventIds{"ba96097c151946fc9a52d36f9c63d465", 24};
        case LogKind::ClockStateUnknown:
            return EventIds{"de544819670a4ba78a51fb1a228bad05", 25};
        case LogKind::LeapSecond:
            return EventIds{"33633a2094ca49fc86a345cad800275c", 26};
        case LogKind::WaitingForSync:
            return EventIds{"18790bbfff414cf6bfc1e3bcce1dac71", 27};
        case LogKind::SyncWaitOver:
            return EventIds{"73bfda6ac30b41a4b6c9fcf9d28130a8", 28};
        case LogKind::SyncWaitGivenUp:
            return EventIds{"fca0f2c21f85496eac8d1e8690e26b62", 29};
        case LogKind::ClockSet:
            return EventIds{"e25656e4d1cc4676b3b87135f1cc2462", 30};
        case LogKind::MetricsNotWritten:
            return EventIds{"597f083593d24c5f955b7db0c1ccc978", 31};
        case LogKind::LeapSecondSent:
            return EventIds{"718f862dd7aa4d12940494486b129bbb", 32};
        case LogKind::LeapSecondSkipped:
            return EventIds{"b5833d70e68648968a49d6f84f45d0eb", 33};
    }
    return std::nullopt;
}

// Every kind but "Transmitted" is an event, so a kind added without ids fails here.
constexpr bool everyEventHasIds() {
    for (const LogKind kind : allLogKinds) {
        if (eventIds(kind).has_value() == (kind == LogKind::Transmitted)) {
            return false;
        }
    }
    return true;
}
static_assert(everyEventHasIds());

// Whether the operator should look: a warning in both logs.
constexpr bool isTrouble(LogKind kind) {
    return kind == LogKind::OpenFailed || kind == LogKind::TransmissionFailed ||
           kind == LogKind::MetricsNotWritten;
}

}  // namespace chronvane

#pragma once

#include <string>

#include "core/system_error.h"

namespace chronvane {

// A device the system would let this program open but the serial layer will not
// use, or will not take back: none of these is a system call's failure.
enum class PortRefusal {
    None,
    // The pseudo-terminal multiplexer: opening it makes a new master end that
    // nobody else can ever read.
    NewPseudoTerminalMaster,
    // The terminal this program runs in (under its own name or as /dev/tty), whose
    // Ctrl+C raw mode would switch off.
    OwnTerminal,
    // The path the port had now names another device, given it since ours went away.
    NameTaken,
};

// Why a port did not open: the system's reason, or the serial layer's own refusal
// (then error is no failure). Made from either, so a caller with a SystemError in
// hand passes it as it is.
struct PortFailure {
    SystemError error;
    PortRefusal refusal = PortRefusal::None;

    PortFailure() = default;
    PortFailure(SystemError systemError) : error(systemError) {}
    PortFailure(PortRefusal portRefusal) : refusal(portRefusal) {}

    bool failed() const { return error.failed() || refusal != PortRefusal::None; }
    friend bool operator==(const PortFailure&, const PortFailure&) = default;
};

// failure in words, e.g. "Permission denied": the system's for a SystemError, and
// for a refusal the words it has always been given ("Wrong medium type", "Address
// already in use", "Stale file handle"), which operators and their scripts know.
std::string portFailureText(PortFailure failure);

}  // namespace chronvane

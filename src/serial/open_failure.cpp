#include "open_failure.h"

#include "open_failure_hints.h"

namespace chronvane {

namespace {

// What the operator can do about each of the serial layer's own refusals.
const char* refusalHint(PortRefusal refusal) {
    switch (refusal) {
        case PortRefusal::None:
            break;
        case PortRefusal::NewPseudoTerminalMaster:
            return "a new pseudo-terminal master that nobody can read; use --device COMn=virtual";
        case PortRefusal::OwnTerminal:
            return "the terminal this program runs in, not a serial line; check --device";
        case PortRefusal::NameTaken:
            return "another device has its name since ours went away; left alone, check "
                   "--device";
    }
    return nullptr;
}

const char* systemHint(SystemError error) {
    for (const OpenFailureHint& entry : openFailureHints()) {
        if (entry.code == error.code) {
            return entry.hint;
        }
    }
    return nullptr;
}

}  // namespace

std::string openFailureReason(PortFailure failure) {
    std::string reason = portFailureText(failure);
    const char* hint = failure.refusal != PortRefusal::None ? refusalHint(failure.refusal)
                                                            : systemHint(failure.error);
    if (hint != nullptr) {
        reason += " (";
        reason += hint;
        reason += ')';
    }
    return reason;
}

}  // namespace chronvane

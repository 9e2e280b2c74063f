#include "port_failure.h"

namespace chronvane {

std::string portFailureText(PortFailure failure) {
    switch (failure.refusal) {
        case PortRefusal::None:
            break;
        case PortRefusal::NewPseudoTerminalMaster:
            return "Wrong medium type";
        case PortRefusal::OwnTerminal:
            return "Address already in use";
        case PortRefusal::NameTaken:
            return "Stale file handle";
    }
    return errorText(failure.error);
}

}  // namespace chronvane

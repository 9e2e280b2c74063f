#include <windows.h>

#include "virtual_port.h"

namespace chronvane {

// Windows has no pseudo-terminals: a virtual COM is a driver's business there.
std::shared_ptr<VirtualPort> VirtualPort::create(SystemError& error) {
    error = SystemError{static_cast<int>(ERROR_NOT_SUPPORTED)};
    return nullptr;
}

std::string VirtualPort::createFailureText(SystemError /*error*/) {
    return "virtual ports need a pseudo-terminal, which Windows does not have; install a "
           "virtual null-modem pair driver and give one end of the pair with --device";
}

}  // namespace chronvane

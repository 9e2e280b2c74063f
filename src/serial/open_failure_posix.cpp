#include <cerrno>

#include "open_failure.h"

namespace chronvane {

std::string openFailureReason(SystemError error) {
    std::string reason = errorText(error);
    switch (error.code) {
        case EACCES:
        case EPERM:
            reason += " (is your user in the dialout group?)";
            break;
        case ENOENT:
            reason += " (check --device)";
            break;
        case EBUSY:
            reason += " (another program is using it)";
            break;
        case ENOTTY:
            reason += " (not a serial device; check --device)";
            break;
        case EOPNOTSUPP:
            reason += " (the device does not offer that flow control; check --flow)";
            break;
        case EIO:
        case ENXIO:
        case ENODEV:
            reason += " (is the port or adapter really there?)";
            break;
        default:
            break;
    }
    return reason;
}

}  // namespace chronvane

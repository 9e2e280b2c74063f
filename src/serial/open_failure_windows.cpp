#include <windows.h>

#include "open_failure.h"

namespace chronvane {

std::string openFailureReason(SystemError error) {
    std::string reason = errorText(error);
    switch (static_cast<DWORD>(error.code)) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            // A COM port is opened exclusively; Windows says "access denied" when
            // another program holds it.
            reason += " (another program is using the port; close it and try again)";
            break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            reason += " (no such port on this computer; check Device Manager and --device)";
            break;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            reason += " (not a device name; use the form \\\\.\\COM7 with --device)";
            break;
        case ERROR_INVALID_FUNCTION:
        case ERROR_INVALID_HANDLE:
        case ERROR_NOT_SUPPORTED:
            reason += " (not a serial port, or it refused 9600 baud 8N1; check --device)";
            break;
        case ERROR_GEN_FAILURE:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_NOT_READY:
            reason += " (is the port or adapter really there?)";
            break;
        default:
            break;
    }
    return reason;
}

}  // namespace chronvane

#include <windows.h>

#include "open_failure_hints.h"

namespace chronvane {
namespace {

constexpr int code(DWORD error) {
    return static_cast<int>(error);
}

// A COM port is opened exclusively; Windows says "access denied" when another
// program holds it.
constexpr const char* heldElsewhere = "another program is using the port; close it and try again";
constexpr const char* noSuchPort =
    "no such port on this computer; check Device Manager and --device";
constexpr const char* notADeviceName = "not a device name; use the form \\\\.\\COM7 with --device";
constexpr const char* notASerialPort =
    "not a serial port, or it refused 9600 baud 8N1; check --device";
constexpr const char* notThere = "is the port or adapter really there?";

}  // namespace

std::span<const OpenFailureHint> openFailureHints() {
    static constexpr OpenFailureHint hints[] = {
        {code(ERROR_ACCESS_DENIED), heldElsewhere},
        {code(ERROR_SHARING_VIOLATION), heldElsewhere},
        {code(ERROR_FILE_NOT_FOUND), noSuchPort},
        {code(ERROR_PATH_NOT_FOUND), noSuchPort},
        {code(ERROR_INVALID_NAME), notADeviceName},
        {code(ERROR_BAD_PATHNAME), notADeviceName},
        {code(ERROR_INVALID_FUNCTION), notASerialPort},
        {code(ERROR_INVALID_HANDLE), notASerialPort},
        {code(ERROR_NOT_SUPPORTED), notASerialPort},
        {code(ERROR_GEN_FAILURE), notThere},
        {code(ERROR_DEVICE_NOT_CONNECTED), notThere},
        {code(ERROR_DEV_NOT_EXIST), notThere},
        {code(ERROR_NOT_READY), notThere},
    };
    return hints;
}

}  // namespace chronvane

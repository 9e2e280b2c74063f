#include <cerrno>

#include "open_failure_hints.h"

namespace chronvane {

std::span<const OpenFailureHint> openFailureHints() {
    static constexpr OpenFailureHint hints[] = {
        {EACCES, "is your user in the dialout group?"},
        {EPERM, "is your user in the dialout group?"},
        {ENOENT, "check --device"},
        {EBUSY, "another program is using it"},
        {ENOTTY, "not a serial device; check --device"},
        {EOPNOTSUPP, "the device does not offer that flow control; check --flow"},
        {EIO, "is the port or adapter really there?"},
        {ENXIO, "is the port or adapter really there?"},
        {ENODEV, "is the port or adapter really there?"},
    };
    return hints;
}

}  // namespace chronvane

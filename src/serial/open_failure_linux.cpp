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
        {EMEDIUMTYPE,
         "a new pseudo-terminal master that nobody can read; use --device COMn=virtual"},
        {EADDRINUSE,
         "the terminal this program runs in, not a serial line; check --device"},
        {ESTALE,
         "another device has its name since ours went away; left alone, check --device"},
        {EOPNOTSUPP, "the device does not offer that flow control; check --flow"},
        {EIO, "is the port or adapter really there?"},
        {ENXIO, "is the port or adapter really there?"},
        {ENODEV, "is the port or adapter really there?"},
    };
    return hints;
}

}  // namespace chronvane

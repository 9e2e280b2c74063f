#pragma once

#include <string>

namespace chronvane {

// Why a system call failed, as the operating system numbers it: an errno value on
// POSIX, a GetLastError value on Windows. Every layer carries this one shape up to
// whoever tells the operator, so the OS's own reason is never lost on the way.
struct SystemError {
    int code = 0;  // 0: no failure

    bool failed() const { return code != 0; }
    friend bool operator==(const SystemError&, const SystemError&) = default;
};

// The calling thread's most recent failure (errno, GetLastError). Call it right
// after the failed call, before anything else can overwrite it.
SystemError lastSystemError();

// The operating system's own wording for error, e.g. "Permission denied", in the
// C locale's language; never empty.
std::string errorText(SystemError error);

}  // namespace chronvane

#pragma once

// src/core: what every layer shares and nothing depends on: the value types
// (ByteString, TimeReading, LineSettings, FlowControl) and the calendar names, and the program's three shapes of failure:
//   SystemError  a system call failed; its number, worded by errorText().
//   Parsed<T>    text someone wrote (arguments, the resource script) made no sense:
//                no value, one line saying where and why (core/parsed.h).
//   a problem line, empty when there is none: a reason that is no system call's
//                number (a display that will not connect, a zone that does not
//                exist, a window module that will not load).
// Waits with a budget run against a Deadline (core/deadline.h).

#include <string>

namespace chronvane {

// Why a system call failed, as the operating system numbers it (system_error_<platform>.cpp
// says how). Every layer carries this one shape up to whoever tells the operator, so
// the system's own reason is never lost on the way: a function that only acts
// returns it (no failure: success), one that makes something takes it as an out
// parameter, and an object that lives on keeps its latest as lastError().
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

#pragma once

// src/core: what every layer shares and nothing depends on: the value types
// (ByteString, TimeReading, LineSettings, FlowControl) and the calendar names, and
// the shapes of failure below.
// Waits with a budget run against a Deadline (core/deadline.h).
//
// A failure takes one of four shapes, chosen by whose reason it is:
//   SystemError   a system call failed: its number, worded by errorText() only where
//                 someone is told. A function that only acts returns it (no failure:
//                 success); one that makes something returns the thing and takes a
//                 SystemError& for why there is none; an object that lives on keeps
//                 its latest as lastError().
//   Parsed<T>     a value, or one line saying why there is none (core/parsed.h): for
//                 text someone wrote that made no sense (arguments, the resource
//                 script), and for a step whose reason reaches the operator already
//                 worded (the window module that will not load).
//   ProblemLine   a reason that is no system call's number and comes with no value
//                 (a display that will not connect, a zone that does not exist, an
//                 option value refused): one line, empty when there is none.
//   PortRefusal   the serial layer's own refusal of a device the system would let it
//                 open (serial/port_failure.h), carried beside the SystemError in the
//                 port's PortFailure, so no refusal borrows a system error number.
// Anything that throws (std::thread) is caught where it is called and becomes one
// of these; nothing here throws.

#include <string>

namespace chronvane {

// Why a system call failed, as the operating system numbers it (system_error_<platform>.cpp
// says how). Every layer carries this one shape up to whoever tells the operator, so
// the system's own reason is never lost on the way (see the conventions above).
struct SystemError {
    int code = 0;  // 0: no failure

    bool failed() const { return code != 0; }
    friend bool operator==(const SystemError&, const SystemError&) = default;
};

// A reason in one line, for the operator, that is no system call's: empty when there
// is none.
using ProblemLine = std::string;

// The calling thread's most recent failure (errno, GetLastError). Call it right
// after the failed call, before anything else can overwrite it.
SystemError lastSystemError();

// The operating system's own wording for error, e.g. "Permission denied", in the
// C locale's language; never empty.
std::string errorText(SystemError error);

}  // namespace chronvane

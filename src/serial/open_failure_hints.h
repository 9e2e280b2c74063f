#pragma once

#include <span>

namespace chronvane {

// One failure an operator can put right, and what to do about it.
struct OpenFailureHint {
    int code;          // a SystemError code, as the platform numbers it
    const char* hint;  // shown in brackets after the system's text
};

// The platform's hints (open_failure_<platform>.cpp), for openFailureReason in
// open_failure.cpp; a code listed twice takes its first hint. Never fails.
std::span<const OpenFailureHint> openFailureHints();

}  // namespace chronvane

#pragma once

#include <string>

#include "port_failure.h"

namespace chronvane {

// Why a port would not open, for the operator: the system's text plus what to do
// about it for the failures an operator can put right, e.g. "Permission denied (is
// your user in the dialout group?)". The wording is the same everywhere
// (open_failure.cpp), and so are the hints for the serial layer's own refusals;
// only the table of hints for the system's codes differs by platform
// (open_failure_<platform>.cpp, behind open_failure_hints.h).
std::string openFailureReason(PortFailure failure);

}  // namespace chronvane

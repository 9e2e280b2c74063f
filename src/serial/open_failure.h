#pragma once

#include <string>

#include "core/system_error.h"

namespace chronvane {

// Why a port would not open, for the operator: the system's text plus what to do
// about it for the failures an operator can put right, e.g. "Permission denied (is
// your user in the dialout group?)". The hints differ by platform
// (open_failure_<platform>.cpp).
std::string openFailureReason(SystemError error);

}  // namespace chronvane

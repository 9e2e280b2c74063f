#pragma once

#include <optional>
#include <string>

namespace chronvane {

// A value, or no value and one line saying where and why (see system_error.h for
// when to use which shape). What reading text the program was given gives back
// (its arguments, the resource script), and what a step gives back whose failure
// reaches the operator already worded (loading the window module). A failed system
// call on its own is a SystemError instead.
template <typename T>
struct Parsed {
    std::optional<T> value;
    // One line naming what was wrong when value is empty; empty otherwise.
    std::string error;
};

}  // namespace chronvane

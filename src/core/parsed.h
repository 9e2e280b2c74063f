#pragma once

#include <optional>
#include <string>

namespace chronvane {

// What reading text the program was given (its arguments, the resource script)
// gives back: the value, or when the text does not make sense, no value and one
// line saying where and why. The shape for a mistake in what someone wrote; a
// failed system call is a SystemError instead.
template <typename T>
struct Parsed {
    std::optional<T> value;
    // One line naming what was wrong when value is empty; empty otherwise.
    std::string error;
};

}  // namespace chronvane

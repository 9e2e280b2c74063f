#pragma once

#include <string>

namespace chronvane {

// Where the console program's lines go: C runtime file descriptors, which every
// platform's runtime numbers the same way. How a line is written is per platform
// (console_output_<platform>.cpp).
inline constexpr int standardOutput = 1;
inline constexpr int standardError = 2;

// Writes all of text to fd, retrying interrupted and partial writes. Returns false
// when the descriptor refuses it.
bool writeAll(int fd, const std::string& text);

// Writes text only when fd can take it now, never waiting: a pipe or socket that
// nobody drains (a pager left waiting, a journal that stopped reading) would block
// the write and, with it, the clock. Returns false when the text was dropped or
// the descriptor refused it. Where the system cannot say whether a write would
// wait, a writer of its own does the waiting and a refusal shows at the next call
// (console_output_windows.cpp).
bool writeIfReady(int fd, const std::string& text);

}  // namespace chronvane

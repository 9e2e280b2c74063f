#pragma once

#include <cstdio>
#include <string_view>

namespace chronvane {

// How both programs print outside the clock's own log: writes text to stream and
// flushes it. False when the stream refused it (say, standard output on
// /dev/full), which the caller turns into a nonzero exit status.
bool print(std::FILE* stream, std::string_view text);

}  // namespace chronvane

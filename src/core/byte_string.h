#pragma once

#include <cstdint>
#include <vector>

namespace chronvane {

// Wire messages carry 0x00 bytes, so their length is explicit and nothing ever
// depends on a terminator.
using ByteString = std::vector<std::uint8_t>;

}  // namespace chronvane

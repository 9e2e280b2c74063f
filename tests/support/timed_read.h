#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace chronvane::test {

// What one wait for a descriptor brought.
struct ReadChunk {
    std::vector<std::uint8_t> bytes;  // empty when the deadline came first
    bool ended = false;               // end of file, or a failure other than EINTR/EAGAIN
};

// Waits until fd has something to read or deadline passes, then reads what is there
// once. A pseudo-terminal's controller end whose device end has gone reports EIO:
// that counts as ended.
ReadChunk readOnce(int fd, std::chrono::steady_clock::time_point deadline);

// Reads until count bytes have come, the stream has ended or deadline has passed;
// returns what came (more than count when the last read brought more).
std::vector<std::uint8_t> readUpTo(int fd, std::size_t count,
                                   std::chrono::steady_clock::time_point deadline);

}  // namespace chronvane::test

#include "timed_read.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace chronvane::test {

ReadChunk readOnce(int fd, std::chrono::steady_clock::time_point deadline) {
    ReadChunk chunk;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd watch{fd, POLLIN, 0};
    const auto waitMs = std::max<std::chrono::milliseconds::rep>(0, left.count());
    const int ready = poll(&watch, 1, static_cast<int>(waitMs));
    if (ready <= 0) {
        return chunk;
    }
    std::uint8_t buffer[4096];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
        chunk.bytes.assign(buffer, buffer + got);
    } else {
        chunk.ended = got == 0 || (errno != EINTR && errno != EAGAIN);
    }
    return chunk;
}

std::vector<std::uint8_t> readUpTo(int fd, std::size_t count,
                                   std::chrono::steady_clock::time_point deadline) {
    std::vector<std::uint8_t> out;
    while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
        ReadChunk chunk = readOnce(fd, deadline);
        out.insert(out.end(), chunk.bytes.begin(), chunk.bytes.end());
        if (chunk.ended) {
            break;
        }
    }
    return out;
}

}  // namespace chronvane::test

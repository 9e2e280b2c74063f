#include <poll.h>
#include <unistd.h>

#include "console_output.h"
#include "core/retry_on_interrupt.h"

namespace chronvane {

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n =
            retryOnInterrupt([&] { return ::write(fd, text.data() + done, text.size() - done); });
        if (n < 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A line is far shorter than the room a pipe, a socket or a terminal reports as
// writable, so a write after POLLOUT does not block.
bool writeIfReady(int fd, const std::string& text) {
    pollfd watch{fd, POLLOUT, 0};
    const int ready = retryOnInterrupt([&] { return poll(&watch, 1, 0); });
    // Not ready: drop. An error or hang-up shows as ready and the write says why.
    return ready != 0 && writeAll(fd, text);
}

}  // namespace chronvane

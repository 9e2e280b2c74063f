#include "standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "core/retry_on_interrupt.h"

namespace chronvane {

SystemError fillClosedStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0) {
            continue;
        }
        if (errno != EBADF) {
            return lastSystemError();
        }
        // Not close-on-exec: whatever the program starts should find them filled too.
        const int null = retryOnInterrupt([] { return ::open("/dev/null", O_RDWR); });
        if (null < 0) {
            return lastSystemError();
        }
        // Every lower descriptor is open by now, so open() gave the lowest free one,
        // which is fd; anything else means a descriptor came free under us.
        if (null != fd) {
            const SystemError error = dup2(null, fd) < 0 ? lastSystemError() : SystemError{};
            ::close(null);
            if (error.failed()) {
                return error;
            }
        }
    }
    return {};
}

}  // namespace chronvane

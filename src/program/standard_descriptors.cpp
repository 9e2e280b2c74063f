#include "standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "core/retry_on_interrupt.h"

namespace chronvane {

int fillClosedStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0) {
            continue;
        }
        if (errno != EBADF) {
            return errno;
        }
        // Not close-on-exec: whatever the program starts should find them filled too.
        const int null = retryOnInterrupt([] { return ::open("/dev/null", O_RDWR); });
        if (null < 0) {
            return errno;
        }
        // Every lower descriptor is open by now, so open() gave the lowest free one,
        // which is fd; anything else means a descriptor came free under us.
        if (null != fd) {
            const int error = dup2(null, fd) < 0 ? errno : 0;
            ::close(null);
            if (error != 0) {
                return error;
            }
        }
    }
    return 0;
}

}  // namespace chronvane

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "core/retry_on_interrupt.h"
#include "metrics_file.h"

namespace chronvane {

SystemError replaceFile(const std::string& path, const std::string& temporary,
                        const std::string& content) {
    const int fd = retryOnInterrupt([&] {
        return open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    });
    if (fd < 0) {
        return lastSystemError();
    }
    // The service's umask would keep the collector, another user, out.
    SystemError error;
    if (fchmod(fd, 0644) != 0) {
        error = lastSystemError();
    }
    for (std::size_t done = 0; !error.failed() && done < content.size();) {
        const ssize_t n = retryOnInterrupt(
            [&] { return ::write(fd, content.data() + done, content.size() - done); });
        if (n < 0) {
            error = lastSystemError();
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    if (close(fd) != 0 && !error.failed()) {
        error = lastSystemError();
    }
    if (!error.failed() && std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = lastSystemError();
    }
    if (error.failed()) {
        unlink(temporary.c_str());
    }
    return error;
}

}  // namespace chronvane

#pragma once

#include <cerrno>

namespace chronvane {

// Runs a system call again for as long as a signal interrupts it (-1 with EINTR).
// Returns the call's last result; errno is the call's own when that is -1.
template <typename Call>
int retryOnInterrupt(Call call) {
    int result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

}  // namespace chronvane

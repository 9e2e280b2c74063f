#pragma once

#include <cerrno>

namespace chronvane {

// Runs a system call again for as long as a signal interrupts it (a negative result
// with errno EINTR). Fits every call that reports failure as a negative value,
// whatever its result type (int, ssize_t). Returns the call's last result; errno is
// the call's own when that is negative.
template <typename Call>
auto retryOnInterrupt(Call call) -> decltype(call()) {
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

}  // namespace chronvane

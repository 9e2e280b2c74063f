#pragma once

namespace chronvane {

// What a failed write means for whoever acts on it. The same on every platform;
// each implementation sorts its own error codes into these.
enum class WriteFailure {
    None,        // the most recent write took every byte
    HeldUp,      // output held by flow control (bytes not taken in time, or an earlier
                 // message still queued and discarded): the device is there, and
                 // reopening it cannot help
    DeviceGone,  // the device went away (unplugged, hung up, closed): only a reopen
                 // can bring it back
    Other,       // anything else; lastError() says what
};

// How much a failure asks of the caller. A message whose bytes failed for different
// reasons reports the most demanding one: a device gone needs a reopen whatever
// else happened.
constexpr int writeFailureWeight(WriteFailure failure) {
    switch (failure) {
        case WriteFailure::None:
            return 0;
        case WriteFailure::HeldUp:
            return 1;
        case WriteFailure::Other:
            return 2;
        case WriteFailure::DeviceGone:
            return 3;
    }
    return 0;
}

}  // namespace chronvane

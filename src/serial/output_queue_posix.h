#pragma once

namespace chronvane {

// How a port finds output of an earlier message still waiting in the driver, and
// drops it. POSIX only, and not part of SerialPort's interface: every port uses the
// tty's own answer (TIOCOUTQ, tcflush TCOFLUSH) unless a test put a stand-in here,
// because a pseudo-terminal refuses bytes instead of queueing them and so can
// never show a queue.
struct OutputQueueCalls {
    // Bytes written to fd but not yet sent; -1 with errno set when the device cannot
    // say.
    int (*queuedBytes)(int fd);
    // Drops them; 0, or -1 with errno set.
    int (*discard)(int fd);
};

// The calls every SerialPort uses from its next write on.
OutputQueueCalls& outputQueueCalls();

}  // namespace chronvane

#pragma once

#include <sys/stat.h>

// Who else has a terminal open, for the serial port's decisions about a line that
// is not plainly its own: a pseudo-terminal number handed out again, or a line
// whose exclusive flag is set. Linux only.
namespace chronvane {

// Whether any descriptor other than ownFd of this process (-1: none is ours) has
// the terminal device open: in another process, or elsewhere in this one. device
// is the terminal as stat() gives it; a pseudo-terminal counts only in its own
// devpts instance, since every instance numbers its terminals from 0.
// Read from /proc/<pid>/fd, so it sees only the processes whose descriptors this
// one may read: its own user's (not those that changed their credentials), or every
// process with CAP_SYS_PTRACE, and none hidden from it (hidepid=, systemd's
// ProtectProc=, another PID namespace). What it cannot see it takes as not holding
// the device.
bool othersHoldOpen(const struct stat& device, int ownFd);

}  // namespace chronvane

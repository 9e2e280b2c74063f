#pragma once

#include <string>
#include <vector>

namespace chronvane {

// The real-time priority the console asks for: modest, above every normal process
// (a busy machine cannot delay the tick), below the kernel's own threads and
// anything an administrator raised higher.
inline constexpr int realTimePriority = 10;

// Asks the system to keep this process on time on a busy machine: a real-time
// scheduling class (on Linux SCHED_FIFO at realTimePriority, or the highest the
// RLIMIT_RTPRIO allows when that is lower; a real-time class the process was
// started with is kept), all of its memory locked in (mlockall MCL_CURRENT |
// MCL_FUTURE, only where no limit could make a later allocation fail: with
// RLIMIT_MEMLOCK unlimited or CAP_IPC_LOCK), and timers that fire when due
// (PR_SET_TIMERSLACK 1 ns). For the console mode, where the process is nothing
// but the tick; a window's user-interface thread stays at normal priority.
// Whatever is not allowed is left as it was and the process goes on. Returns one
// line (no newline, no program name) per request that was not granted, saying
// what the process goes without and how to allow it; empty when all were granted.
// Per platform: realtime_<platform>.cpp.
std::vector<std::string> requestRealTime();

// The same for the calling thread alone, for a thread that sends beside a user
// interface: on Linux SCHED_FIFO as above and the minimal timer slack, both of which
// belong to the thread; no memory lock, which would hold the whole toolkit in. On
// Windows a time-critical thread priority. Notes as above.
std::vector<std::string> requestRealTimeThread();

}  // namespace chronvane

#include "realtime.h"

#include <linux/capability.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include "core/system_error.h"

namespace chronvane {
namespace {

// AddressSanitizer and ThreadSanitizer reserve terabytes of shadow memory; locking
// it all in would exhaust the machine, so a sanitizer build never locks memory.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool lockingCanExhaustMemory = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool lockingCanExhaustMemory = true;
#else
constexpr bool lockingCanExhaustMemory = false;
#endif
#else
constexpr bool lockingCanExhaustMemory = false;
#endif

bool hasEffectiveCapability(int capability) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) < 0) {
        return false;
    }
    const auto word = static_cast<unsigned>(capability) / 32;
    const auto bit = static_cast<unsigned>(capability) % 32;
    return (data[word].effective & (1U << bit)) != 0;
}

// An unprivileged process may raise its soft limit up to the hard one.
rlim_t raisedSoftLimit(int resource, rlim_t wanted) {
    rlimit limit{};
    if (getrlimit(resource, &limit) < 0) {
        return 0;
    }
    if (limit.rlim_cur != RLIM_INFINITY && (wanted == RLIM_INFINITY || limit.rlim_cur < wanted)) {
        const rlim_t raised =
            limit.rlim_max == RLIM_INFINITY ? wanted : std::min(limit.rlim_max, wanted);
        if (raised != limit.rlim_cur) {
            rlimit higher{raised, limit.rlim_max};
            if (setrlimit(resource, &higher) == 0) {
                limit.rlim_cur = raised;
            }
        }
    }
    return limit.rlim_cur;
}

bool setFifo(int priority) {
    sched_param param{};
    param.sched_priority = priority;
    // Nothing it starts would inherit the class.
    return sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
}

// Empty when granted, else what the process goes without and how to allow it.
std::string requestPriority() {
    const int policy = sched_getscheduler(0);
    if (policy < 0) {
        return "real-time priority not asked for: " + errorText(lastSystemError());
    }
    // Started real-time already (a service manager's CPUSchedulingPolicy): keep it.
    if ((policy & ~SCHED_RESET_ON_FORK) == SCHED_FIFO ||
        (policy & ~SCHED_RESET_ON_FORK) == SCHED_RR) {
        return {};
    }
    const rlim_t allowed = raisedSoftLimit(RLIMIT_RTPRIO, realTimePriority);
    if (setFifo(realTimePriority)) {
        return {};
    }
    const SystemError refused = lastSystemError();
    if (refused.code == EPERM && allowed >= 1 && allowed < static_cast<rlim_t>(realTimePriority) &&
        setFifo(static_cast<int>(allowed))) {
        return {};
    }
    if (refused.code != EPERM) {
        return "running at normal priority: SCHED_FIFO " + std::to_string(realTimePriority) +
               " refused: " + errorText(refused);
    }
    return "running at normal priority, real-time scheduling is not allowed: to allow it, "
           "raise RLIMIT_RTPRIO to " +
           std::to_string(realTimePriority) + " (LimitRTPRIO=" + std::to_string(realTimePriority) +
           " for a service, or \"USER - rtprio " + std::to_string(realTimePriority) +
           "\" in /etc/security/limits.conf) or grant CAP_SYS_NICE";
}

std::string requestLockedMemory() {
    if (lockingCanExhaustMemory) {
        return {};
    }
    const bool unlimited = raisedSoftLimit(RLIMIT_MEMLOCK, RLIM_INFINITY) == RLIM_INFINITY;
    // Under a finite limit a later allocation would fail once the locked total
    // reached it, which would end the program; better to run unlocked.
    if (!unlimited && !hasEffectiveCapability(CAP_IPC_LOCK)) {
        return "memory not locked, it may be paged out on a busy machine: to allow it, "
               "raise RLIMIT_MEMLOCK to unlimited (LimitMEMLOCK=infinity for a service, or "
               "\"USER - memlock unlimited\" in /etc/security/limits.conf) or grant "
               "CAP_IPC_LOCK";
    }
    if (mlockall(MCL_CURRENT | MCL_FUTURE) < 0) {
        return "memory not locked: " + errorText(lastSystemError());
    }
    return {};
}

}  // namespace

std::vector<std::string> requestRealTimeThread() {
    std::vector<std::string> notes;
    if (std::string note = requestPriority(); !note.empty()) {
        notes.push_back(std::move(note));
    }
    // Always allowed; the default 50 us slack would let the kernel fire the tick late
    // to save wake-ups.
    if (prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) < 0) {
        notes.push_back("timer slack left as it was: " + errorText(lastSystemError()));
    }
    return notes;
}

std::vector<std::string> requestRealTime() {
    std::vector<std::string> notes = requestRealTimeThread();
    if (std::string note = requestLockedMemory(); !note.empty()) {
        notes.insert(notes.begin() + (notes.empty() ? 0 : 1), std::move(note));
    }
    return notes;
}

}  // namespace chronvane

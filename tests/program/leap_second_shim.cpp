// Preloaded into the program (LD_PRELOAD), shows it a day that ends with an inserted
// leap second, as Linux keeps one: its wall clock starts CHRONVANE_LEAP_LEAD whole
// seconds before the end of 31 December 2016 (UTC), the sub-second as the real
// clock's; the kernel's state (adjtimex, ntp_adjtime) announces the insertion
// (TIME_INS) until midnight, then the clock shows 23:59:59 a second time (TIME_OOP)
// and runs on from there one second behind (TIME_WAIT, no longer announced). The
// realtime timers it arms at absolute times are moved by as much, so that they
// expire when the clock it is shown reaches them. The monotonic clock runs on
// untouched; this machine's own clock is never set.
#include <dlfcn.h>
#include <cstdint>
#include <cstdlib>
#include <sys/time.h>
#include <sys/timerfd.h>
#include <sys/timex.h>
#include <ctime>

namespace {

constexpr std::int64_t nanosPerSecond = 1000000000;
// 2017-01-01 00:00:00 UTC, after the inserted 2016-12-31 23:59:60.
constexpr std::int64_t midnight = 1483228800;

// Whole seconds added to the real clock until the leap second.
std::int64_t shiftSeconds;

typedef int (*ClockGettimeFunction)(clockid_t, struct timespec*);
typedef int (*TimerfdSettimeFunction)(int, int, const struct itimerspec*, struct itimerspec*);

int realClockGettime(clockid_t clock, struct timespec* time) {
    static ClockGettimeFunction real;
    if (real == nullptr) {
        real = reinterpret_cast<ClockGettimeFunction>(dlsym(RTLD_NEXT, "clock_gettime"));
    }
    return real(clock, time);
}

__attribute__((constructor)) void startBeforeMidnight() {
    const char* lead = getenv("CHRONVANE_LEAP_LEAD");
    struct timespec now;
    realClockGettime(CLOCK_REALTIME, &now);
    shiftSeconds = midnight - (lead != nullptr ? atoi(lead) : 5) - now.tv_sec;
}

// The real clock's nanoseconds, shifted to the day shown but not yet set back.
std::int64_t unsetNanos() {
    struct timespec now;
    realClockGettime(CLOCK_REALTIME, &now);
    return ((std::int64_t)now.tv_sec + shiftSeconds) * nanosPerSecond + now.tv_nsec;
}

// What the clock shown adds to the real one at this instant.
std::int64_t shownShiftNanos() {
    return (shiftSeconds - (unsetNanos() >= midnight * nanosPerSecond ? 1 : 0)) * nanosPerSecond;
}

}  // namespace

extern "C" {

int clock_gettime(clockid_t clock, struct timespec* time) noexcept {
    const int result = realClockGettime(clock, time);
    if (result == 0 && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)) {
        const std::int64_t nanos = (std::int64_t)time->tv_sec * nanosPerSecond + time->tv_nsec + shownShiftNanos();
        time->tv_sec = (time_t)(nanos / nanosPerSecond);
        time->tv_nsec = (long)(nanos % nanosPerSecond);
    }
    return result;
}

int gettimeofday(timeval* tv, void* /*zone*/) noexcept {
    struct timespec now;
    const int result = clock_gettime(CLOCK_REALTIME, &now);
    tv->tv_sec = now.tv_sec;
    tv->tv_usec = now.tv_nsec / 1000;
    return result;
}

time_t time(time_t* out) noexcept {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    if (out != nullptr) {
        *out = now.tv_sec;
    }
    return now.tv_sec;
}

int timerfd_settime(int fd, int flags, const struct itimerspec* value, struct itimerspec* old) noexcept {
    static TimerfdSettimeFunction real;
    if (real == nullptr) {
        real = reinterpret_cast<TimerfdSettimeFunction>(dlsym(RTLD_NEXT, "timerfd_settime"));
    }
    struct itimerspec moved = *value;
    if ((flags & TFD_TIMER_ABSTIME) != 0 && (value->it_value.tv_sec != 0 || value->it_value.tv_nsec != 0)) {
        moved.it_value.tv_sec -= (time_t)(shownShiftNanos() / nanosPerSecond);
    }
    return real(fd, flags, &moved, old);
}

int kernelState(struct timex* tx) {
    const std::int64_t now = unsetNanos();
    tx->maxerror = 2000;
    tx->esterror = 100;
    tx->status = STA_PLL;
    if (now < midnight * nanosPerSecond) {
        tx->status |= STA_INS;
        return TIME_INS;
    }
    if (now < (midnight + 1) * nanosPerSecond) {
        tx->status |= STA_INS;
        return TIME_OOP;
    }
    return TIME_WAIT;
}

int adjtimex(timex* tx) noexcept {
    return kernelState(tx);
}

int ntp_adjtime(struct timex* tx) noexcept {
    return kernelState(tx);
}

}  // extern "C"

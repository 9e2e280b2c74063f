/* Preloaded into a process (LD_PRELOAD), moves its wall clock (CLOCK_REALTIME and
 * its coarse variant, gettimeofday, time) by an offset that another process may
 * change at any moment, as a clock set by an operator or a time daemon would move:
 * the monotonic clock, and with it every relative timer, runs on untouched. This
 * machine's own clock is never set.
 *
 * CHRONVANE_CLOCK_SHIFT_FILE names a file of at least 8 bytes whose first 8 hold the
 * offset in nanoseconds (a native 64-bit integer); it is mapped shared, so a write
 * to the file shows at the next reading. Without the variable, or without the
 * file, the clock is the real one. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

typedef int (*ClockGettimeFunction)(clockid_t, struct timespec*);

static volatile const int64_t* shiftNanos;

__attribute__((constructor)) static void mapShift(void) {
    const char* path = getenv("CHRONVANE_CLOCK_SHIFT_FILE");
    if (path == NULL) {
        return;
    }
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    void* mapped = mmap(NULL, sizeof(int64_t), PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (mapped != MAP_FAILED) {
        shiftNanos = mapped;
    }
}

static int realClockGettime(clockid_t clock, struct timespec* time) {
    static ClockGettimeFunction real;
    if (real == NULL) {
        real = (ClockGettimeFunction)dlsym(RTLD_NEXT, "clock_gettime");
    }
    return real(clock, time);
}

static void shift(struct timespec* time) {
    if (shiftNanos == NULL) {
        return;
    }
    const int64_t nanos = (int64_t)time->tv_sec * 1000000000 + time->tv_nsec + *shiftNanos;
    time->tv_sec = (time_t)(nanos / 1000000000);
    time->tv_nsec = (long)(nanos % 1000000000);
    if (time->tv_nsec < 0) {
        time->tv_nsec += 1000000000;
        time->tv_sec -= 1;
    }
}

int clock_gettime(clockid_t clock, struct timespec* time) {
    const int result = realClockGettime(clock, time);
    if (result == 0 && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)) {
        shift(time);
    }
    return result;
}

int gettimeofday(struct timeval* restrict tv, void* restrict tz) {
    (void)tz;
    struct timespec now;
    const int result = clock_gettime(CLOCK_REALTIME, &now);
    if (result == 0) {
        tv->tv_sec = now.tv_sec;
        tv->tv_usec = now.tv_nsec / 1000;
    }
    return result;
}

time_t time(time_t* out) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    if (out != NULL) {
        *out = now.tv_sec;
    }
    return now.tv_sec;
}

/* Preloaded into a process (LD_PRELOAD), records every tcsetattr request it makes
 * and then makes it. A pseudo-terminal reports 8 data bits and no parity whatever
 * was asked, so what a program under Wine requested for its COM port can only be
 * seen on the way in.
 *
 * One line per call is appended to the file CHRONVANE_TCSETATTR_LOG names:
 *   device=/dev/pts/3 speed=9600 bits=8 parity=none stop=1 crtscts=0 ixon=0 ixoff=0
 * Nothing is recorded when the variable is unset or the file cannot be opened; the
 * call itself always goes through, and its result and errno are the real ones. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

typedef int (*TcsetattrFunction)(int, int, const struct termios*);

static unsigned long baudOf(speed_t speed) {
    static const struct {
        speed_t code;
        unsigned long baud;
    } speeds[] = {
        {B0, 0},         {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},
        {B150, 150},     {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},
        {B1800, 1800},   {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
        {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
    };
    for (size_t i = 0; i < sizeof speeds / sizeof speeds[0]; ++i) {
        if (speeds[i].code == speed) {
            return speeds[i].baud;
        }
    }
    return (unsigned long)-1;
}

static int dataBitsOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

static void record(int fd, const struct termios* settings) {
    const char* path = getenv("CHRONVANE_TCSETATTR_LOG");
    if (path == NULL || *path == '\0' || settings == NULL) {
        return;
    }
    char link[64];
    char device[256] = "?";
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, device, sizeof device - 1);
    device[length > 0 ? length : 1] = '\0';

    const tcflag_t c = settings->c_cflag;
    const tcflag_t i = settings->c_iflag;
    const char* parity = !(c & PARENB) ? "none" : (c & PARODD) ? "odd" : "even";
    char line[512];
    const int size =
        snprintf(line, sizeof line,
                 "device=%s speed=%lu bits=%d parity=%s stop=%d crtscts=%d "
                 "ixon=%d ixoff=%d\n",
                 device, baudOf(cfgetospeed(settings)), dataBitsOf(c), parity, (c & CSTOPB) ? 2 : 1,
                 (c & CRTSCTS) ? 1 : 0, (i & IXON) ? 1 : 0, (i & IXOFF) ? 1 : 0);
    const int out = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out < 0 || size <= 0) {
        if (out >= 0) {
            close(out);
        }
        return;
    }
    /* One write with O_APPEND: lines of several processes never interleave. */
    ssize_t written;
    do {
        written = write(out, line, (size_t)size);
    } while (written < 0 && errno == EINTR);
    close(out);
}

int tcsetattr(int fd, int action, const struct termios* settings) {
    static TcsetattrFunction real = NULL;
    if (real == NULL) {
        real = (TcsetattrFunction)dlsym(RTLD_NEXT, "tcsetattr");
        if (real == NULL) {
            errno = ENOSYS;
            return -1;
        }
    }
    const int savedErrno = errno;
    record(fd, settings);
    errno = savedErrno;
    return real(fd, action, settings);
}

/* Preloaded into Wine: records every tcsetattr request, one line each, to the file
 * named by CHRONVANE_TCSETATTR_LOG, then makes the call. A pseudo-terminal reports
 * 8 data bits and no parity whatever it was asked, so the request is the only place
 * where the line settings the program chose can be seen. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

int tcsetattr(int fd, int action, const struct termios* settings) {
    static int (*real)(int, int, const struct termios*);
    if (real == NULL) {
        real = (int (*)(int, int, const struct termios*))dlsym(RTLD_NEXT, "tcsetattr");
    }
    const char* logPath = getenv("CHRONVANE_TCSETATTR_LOG");
    if (logPath != NULL && settings != NULL) {
        char link[64];
        char path[512];
        snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t length = readlink(link, path, sizeof path - 1);
        path[length > 0 ? length : 0] = '\0';
        const int log = open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (log >= 0) {
            dprintf(log, "path=%s iflag=%#lx cflag=%#lx ospeed=%#lx\n", path,
                    (unsigned long)settings->c_iflag, (unsigned long)settings->c_cflag,
                    (unsigned long)cfgetospeed(settings));
            close(log);
        }
    }
    return real(fd, action, settings);
}

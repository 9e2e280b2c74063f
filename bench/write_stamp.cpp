// Preloaded into the program under measurement (LD_PRELOAD), never linked into
// it: notes CLOCK_REALTIME the moment each message's first write to the serial
// device is entered, which is what the equipment sees on a real UART, where the
// bytes go to the hardware from the write call itself. The program is unchanged.
//
// CHRONVANE_STAMP_DEVICE: the device whose writes count (compared by device
// number, so any path or descriptor to it counts). CHRONVANE_STAMP_FILE: where
// the stamps go at exit, one line of nanoseconds each. Without both it stays out
// of the way.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

using WriteCall = ssize_t (*)(int, const void*, size_t);

// Writes further apart than this start a new message; the bytes of one message
// follow each other within the sender's 100 ms budget.
constexpr std::int64_t burstGapNanos = 300'000'000;
constexpr std::size_t maxStamps = 1 << 16;

WriteCall realWrite = nullptr;
dev_t watchedDevice = 0;
bool watching = false;
const char* stampFile = nullptr;
std::int64_t lastWrite = 0;
std::int64_t stamps[maxStamps];
std::size_t stampCount = 0;

__attribute__((constructor)) void start() {
    realWrite = reinterpret_cast<WriteCall>(dlsym(RTLD_NEXT, "write"));
    const char* device = std::getenv("CHRONVANE_STAMP_DEVICE");
    stampFile = std::getenv("CHRONVANE_STAMP_FILE");
    struct stat info {};
    if (device != nullptr && stampFile != nullptr && stat(device, &info) == 0 &&
        S_ISCHR(info.st_mode)) {
        watchedDevice = info.st_rdev;
        watching = true;
    }
}

__attribute__((destructor)) void finish() {
    if (!watching || realWrite == nullptr) {
        return;
    }
    const int fd = open(stampFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    char line[32];
    for (std::size_t i = 0; i < stampCount; ++i) {
        const int length =
            std::snprintf(line, sizeof line, "%lld\n", static_cast<long long>(stamps[i]));
        if (realWrite(fd, line, static_cast<size_t>(length)) != length) {
            break;
        }
    }
    close(fd);
}

bool isWatched(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == watchedDevice;
}

}  // namespace

extern "C" ssize_t write(int fd, const void* buffer, size_t count) {
    // First, before anything of our own: the moment the sender entered the call.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (realWrite == nullptr) {
        realWrite = reinterpret_cast<WriteCall>(dlsym(RTLD_NEXT, "write"));
    }
    if (watching && isWatched(fd)) {
        const std::int64_t nanos = std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
        if (nanos - lastWrite > burstGapNanos && stampCount < maxStamps) {
            stamps[stampCount++] = nanos;
        }
        lastWrite = nanos;
    }
    return realWrite(fd, buffer, count);
}

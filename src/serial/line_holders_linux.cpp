#include "line_holders.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <memory>
#include <string>
#include <string_view>

#include "raw_line.h"

namespace chronvane {
namespace {

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};
using Directory = std::unique_ptr<DIR, DirectoryCloser>;

bool isNumber(const char* name) {
    if (*name == '\0') {
        return false;
    }
    for (; *name != '\0'; ++name) {
        if (std::isdigit(static_cast<unsigned char>(*name)) == 0) {
            return false;
        }
    }
    return true;
}

bool sameTerminal(const struct stat& device, const struct stat& candidate) {
    return S_ISCHR(candidate.st_mode) && candidate.st_rdev == device.st_rdev &&
           (!isPseudoTerminalDevice(device.st_rdev) || candidate.st_dev == device.st_dev);
}

}  // namespace

bool othersHoldOpen(const struct stat& device, int ownFd) {
    const Directory processes(opendir("/proc"));
    if (!processes) {
        return false;
    }
    const std::string self = std::to_string(getpid());
    while (const dirent* process = readdir(processes.get())) {
        if (!isNumber(process->d_name)) {
            continue;
        }
        const std::string fdDirectory = std::string("/proc/") + process->d_name + "/fd/";
        // Gone meanwhile, or not ours to read.
        const Directory descriptors(opendir(fdDirectory.c_str()));
        if (!descriptors) {
            continue;
        }
        const bool ourselves = self == process->d_name;
        while (const dirent* descriptor = readdir(descriptors.get())) {
            if (!isNumber(descriptor->d_name) ||
                (ourselves && std::to_string(ownFd) == descriptor->d_name)) {
                continue;
            }
            // Only a descriptor on a device node can be the terminal. The link is
            // read first: stat would follow every descriptor to its file system,
            // and one on a hung network mount would hold the send thread with it.
            const std::string link = fdDirectory + descriptor->d_name;
            char target[16] = {};
            const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
            if (length < 5 || std::string_view(target, 5) != "/dev/") {
                continue;
            }
            // stat follows the descriptor to what it has open, whatever path it was
            // opened by.
            struct stat held {};
            if (stat(link.c_str(), &held) == 0 && sameTerminal(device, held)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace chronvane

#include "time_zone_check.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <regex>
#include <string_view>

namespace chronvane {
namespace {

// The file TZ names when it names one (it may be a rule instead).
std::string zonePath(const std::string& name, const std::string& zoneDirectory) {
    return name.front() == '/' ? name : zoneDirectory + "/" + name;
}

// The TZ value without its leading ':'; empty for UTC by name, which needs no file.
std::string zoneName(const char* tz) {
    std::string name = tz == nullptr ? "" : tz;
    if (!name.empty() && name.front() == ':') {
        name.erase(0, 1);
    }
    return name == "UTC" || name == "GMT" ? std::string() : name;
}

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A zone file starts with this magic, whatever its version. Only a regular file is
// opened: opening a FIFO would wait for a writer, for ever.
bool isZoneFile(const std::string& path) {
    if (!isRegularFile(path)) {
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    char magic[4] = {};
    return file.read(magic, sizeof magic) && std::string_view(magic, sizeof magic) == "TZif";
}

// The POSIX TZ rule: std offset [dst [offset] [,start[/time],end[/time]]].
bool isZoneRule(const std::string& text) {
    static const std::regex rule([] {
        const std::string name = "(<[A-Za-z0-9+-]+>|[A-Za-z]{3,})";
        const std::string offset = "[+-]?[0-9]{1,2}(:[0-9]{1,2}){0,2}";
        const std::string date =
            "(J[0-9]{1,3}|[0-9]{1,3}|M[0-9]{1,2}\\.[1-5]\\.[0-6])(/"
            "[+-]?[0-9]{1,3}(:[0-9]{1,2}){0,2})?";
        return name + offset + "(" + name + "(" + offset + ")?(," + date + "," + date + ")?)?";
    }());
    return std::regex_match(text, rule);
}

// True when TZ names a file that exists but is not a regular file (timeZoneProblem
// still says the zone does not exist).
bool namesSomethingElseThanAFile(const char* tz, const std::string& zoneDirectory) {
    const std::string name = zoneName(tz);
    if (name.empty()) {
        return false;
    }
    struct stat info {};
    return stat(zonePath(name, zoneDirectory).c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

// The zone the C library is using now, for timeZoneProblem's inEffect: "UTC" or
// "UTC+01:00" and the like, from the current offset.
std::string zoneInEffect() {
    tzset();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr || local.tm_gmtoff == 0) {
        return "UTC";
    }
    const long offset = local.tm_gmtoff < 0 ? -local.tm_gmtoff : local.tm_gmtoff;
    char text[32];
    std::snprintf(text, sizeof text, "UTC%c%02ld:%02ld", local.tm_gmtoff < 0 ? '-' : '+',
                  offset / 3600, offset / 60 % 60);
    return text;
}

}  // namespace

ProblemLine timeZoneProblem(const char* tz, const std::string& zoneDirectory,
                            const std::string& inEffect) {
    // Asking for UTC gets UTC, with or without its zone file installed.
    const std::string name = zoneName(tz);
    if (name.empty()) {
        return {};
    }
    const std::string path = zonePath(name, zoneDirectory);
    if (isZoneFile(path) || isZoneRule(name)) {
        return {};
    }
    return "time zone \"" + std::string(tz) + "\" does not exist (" + path +
           " is no zone file and it is no rule such as CET-1CEST,M3.5.0,M10.5.0/3), so " +
           inEffect + " is in effect; set TZ to a name under " + zoneDirectory +
           ", such as Europe/London";
}

ProblemLine guardTimeZone() {
    const char* zoneDirectoryValue = std::getenv("TZDIR");
    const std::string zoneDirectory = zoneDirectoryValue != nullptr && *zoneDirectoryValue != '\0'
                                          ? zoneDirectoryValue
                                          : "/usr/share/zoneinfo";
    const char* tzValue = std::getenv("TZ");
    // Kept apart: setenv may free the string getenv returned.
    const std::optional<std::string> tz =
        tzValue != nullptr ? std::optional<std::string>(tzValue) : std::nullopt;
    if (namesSomethingElseThanAFile(tzValue, zoneDirectory)) {
        setenv("TZ", "UTC0", 1);
    }
    return timeZoneProblem(tz ? tz->c_str() : nullptr, zoneDirectory, zoneInEffect());
}

}  // namespace chronvane

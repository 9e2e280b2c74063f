#include "time_zone_check.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <regex>
#include <string_view>

namespace chronvane {
namespace {

// A zone file starts with this magic, whatever its version.
bool isZoneFile(const std::string& path) {
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

}  // namespace

std::string timeZoneProblem(const char* tz, const std::string& zoneDirectory,
                            const std::string& inEffect) {
    if (tz == nullptr || *tz == '\0') {
        return {};
    }
    std::string name = tz;
    if (name.front() == ':') {
        name.erase(0, 1);
    }
    // Asking for UTC gets UTC, with or without its zone file installed.
    if (name.empty() || name == "UTC" || name == "GMT") {
        return {};
    }
    const std::string path = name.front() == '/' ? name : zoneDirectory + "/" + name;
    if (isZoneFile(path) || isZoneRule(name)) {
        return {};
    }
    return "time zone \"" + std::string(tz) + "\" does not exist (" + path +
           " is no zone file and it is no rule such as CET-1CEST,M3.5.0,M10.5.0/3), so " +
           inEffect + " is in effect; set TZ to a name under " + zoneDirectory +
           ", such as Europe/London";
}

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

}  // namespace chronvane

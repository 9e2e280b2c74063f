#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>

#include "time_zone_check.h"

namespace chronvane {
namespace {

// What the C runtime's _tzset reads whole: a three-letter name, the hours west of
// UTC with optional minutes and seconds, and an optional three-letter name for
// daylight saving time (which it then keeps by the United States' rules).
bool isRuntimeRule(const std::string& text) {
    static const std::regex rule("[A-Za-z]{3}[+-]?[0-9]{1,2}(:[0-9]{1,2}){0,2}([A-Za-z]{3})?");
    return std::regex_match(text, rule);
}

// The zone the C runtime is using now: "UTC" or "UTC+05:30" and the like.
std::string zoneInEffect() {
    _tzset();
    const __time64_t now = _time64(nullptr);
    std::tm local{};
    if (_localtime64_s(&local, &now) != 0) {
        return "UTC";
    }
    const long long east = _mkgmtime64(&local) - now;
    if (east == 0) {
        return "UTC";
    }
    const long long offset = east < 0 ? -east : east;
    char text[32];
    std::snprintf(text, sizeof text, "UTC%c%02lld:%02lld", east < 0 ? '-' : '+', offset / 3600,
                  offset / 60 % 60);
    return text;
}

}  // namespace

ProblemLine runtimeTimeZoneProblem(const char* tz, const std::string& inEffect) {
    const std::string value = tz == nullptr ? "" : tz;
    if (value.empty() || value == "UTC" || value == "GMT" || isRuntimeRule(value)) {
        return {};
    }
    return "time zone \"" + value + "\" is no rule the C runtime reads (such as EST5EDT or " +
           "IST-5:30; zone names such as Europe/London are not read), so " + inEffect +
           " is in effect; set TZ to such a rule, or unset it for the time zone Windows is "
           "set to";
}

ProblemLine guardTimeZone() {
    return runtimeTimeZoneProblem(std::getenv("TZ"), zoneInEffect());
}

}  // namespace chronvane

#include "clock_text.h"

#include <cstdio>

namespace chronvane {

std::string twoDigits(const std::optional<int>& value) {
    if (!value) {
        return "??";
    }
    char text[16];
    std::snprintf(text, sizeof text, "%02d", *value);
    return text;
}

std::string clockText(const std::optional<int>& hour, const std::optional<int>& minute,
                      const std::optional<int>& second) {
    return twoDigits(hour) + ":" + twoDigits(minute) + ":" + twoDigits(second);
}

}  // namespace chronvane

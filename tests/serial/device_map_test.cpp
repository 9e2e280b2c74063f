#include <gtest/gtest.h>

#include "serial/device_map.h"

namespace chronvane {
namespace {

TEST(DeviceMap, DefaultsToTheFourStandardPorts) {
    const DeviceMap map;
    EXPECT_EQ(map.path(0), "/dev/ttyS0");
    EXPECT_EQ(map.path(3), "/dev/ttyS3");
    EXPECT_EQ(map.path(4), "");
    EXPECT_EQ(map.path(-1), "");
}

TEST(DeviceMap, NamesAreCaseInsensitiveAndLimitedToFourPorts) {
    struct Case {
        const char* name;
        std::optional<int> index;
    };
    const Case cases[] = {{"COM1", 0},
                          {"com4", 3},
                          {"Com2", 1},
                          {"COM5", std::nullopt},
                          {"COM0", std::nullopt},
                          {"COM10", std::nullopt},
                          {"", std::nullopt},
                          {"CON1", std::nullopt}};
    for (const Case& c : cases) {
        EXPECT_EQ(DeviceMap::indexOfName(c.name), c.index) << c.name;
    }
}

}  // namespace
}  // namespace chronvane

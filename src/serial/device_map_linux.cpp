#include "device_map.h"

namespace chronvane {

// The on-board ports: COM1 is the first UART, /dev/ttyS0.
std::string DeviceMap::defaultPath(int index) {
    return "/dev/ttyS" + std::to_string(index);
}

}  // namespace chronvane

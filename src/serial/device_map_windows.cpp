#include "device_map.h"

namespace chronvane {

// The device namespace form: the plain name "COM10" would be taken for a file, and
// this form reaches every port number.
std::string DeviceMap::defaultPath(int index) {
    return "\\\\.\\COM" + std::to_string(index + 1);
}

}  // namespace chronvane

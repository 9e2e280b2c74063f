#include <cerrno>
#include <cstring>

#include "system_error.h"

namespace chronvane {

SystemError lastSystemError() {
    return SystemError{errno};
}

std::string errorText(SystemError error) {
    return std::strerror(error.code);
}

}  // namespace chronvane

#include "display_probe.h"

#include <dlfcn.h>

namespace chronvane {
namespace {

// The three entries of libxcb used here, as its stable ABI has them; declared by
// hand so that building the console program needs no X headers.
struct XcbConnection;
using XcbConnect = XcbConnection*(const char* display, int* screen);
using XcbConnectionHasError = int(XcbConnection* connection);
using XcbDisconnect = void(XcbConnection* connection);

// xcb_connection_has_error's codes (XCB_CONN_ERROR and on).
std::string connectionErrorText(int code, const std::string& display) {
    switch (code) {
        case 1:
            return "no X server answers on " + display + ", or it refused this user";
        case 5:
            return "\"" + display + "\" is not a display name such as :0";
        case 6:
            return display + " has no such screen";
        default:
            return "the X connection to " + display + " failed (error " + std::to_string(code) +
                   ")";
    }
}

}  // namespace

ProblemLine x11DisplayProblem(const std::string& display) {
    constexpr const char* library = "libxcb.so.1";
    void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        return std::string(library) + " cannot be loaded" +
               (reason != nullptr ? std::string(": ") + reason : std::string());
    }
    auto* connect = reinterpret_cast<XcbConnect*>(dlsym(handle, "xcb_connect"));
    auto* hasError =
        reinterpret_cast<XcbConnectionHasError*>(dlsym(handle, "xcb_connection_has_error"));
    auto* disconnect = reinterpret_cast<XcbDisconnect*>(dlsym(handle, "xcb_disconnect"));
    std::string problem;
    if (connect == nullptr || hasError == nullptr || disconnect == nullptr) {
        problem = std::string(library) + " lacks the connection functions";
    } else {
        XcbConnection* connection = connect(display.c_str(), nullptr);
        const int code = hasError(connection);
        // Also for a failed connection: it frees what the attempt allocated.
        disconnect(connection);
        if (code != 0) {
            problem = connectionErrorText(code, display);
        }
    }
    dlclose(handle);
    return problem;
}

}  // namespace chronvane

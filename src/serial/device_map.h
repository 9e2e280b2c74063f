#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/port_count.h"

namespace chronvane {

class VirtualPort;

// Which device file stands behind COM1 to COM4. By default COMn is the platform's
// own name for it (/dev/ttyS(n-1) on Linux);
// the command line can point any of them elsewhere (a USB adapter, a by-id link,
// a pseudo-terminal). The path is resolved at each open, so a by-id link that
// follows a re-plugged adapter is honoured. A COM can also be virtual: a
// pseudo-terminal this program made, shared by every copy of the map.
class DeviceMap {
  public:
    DeviceMap();

    // index 0 to portCount - 1 (COM1 to COM4). Out-of-range indexes are ignored / give "".
    // setPath makes a virtual COM a device path again.
    void setPath(int index, std::string path);
    // For a virtual COM, the path its readers open.
    const std::string& path(int index) const;

    // Makes COM<index+1> the given virtual port (null: back to its default path).
    void setVirtual(int index, std::shared_ptr<VirtualPort> port);
    // The virtual port behind COM<index+1>, or null for a device path.
    const std::shared_ptr<VirtualPort>& virtualPort(int index) const;

    // The device COM<index+1> stands for unless told otherwise: the platform's
    // name for it (device_map_<platform>.cpp).
    static std::string defaultPath(int index);
    // "COM1" to "COM4" (any case) to 0 to portCount - 1; nullopt for anything else,
    // leading zeros included.
    static std::optional<int> indexOfName(std::string_view name);
    static std::string portName(int index);

  private:
    std::array<std::string, portCount> m_paths;
    std::array<std::shared_ptr<VirtualPort>, portCount> m_virtualPorts;
};

}  // namespace chronvane

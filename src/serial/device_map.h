#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace chronvane {

// Which device file stands behind COM1 to COM4. By default COMn is /dev/ttyS(n-1);
// the command line can point any of them elsewhere (a USB adapter, a by-id link,
// a pseudo-terminal). The path is resolved at each open, so a by-id link that
// follows a re-plugged adapter is honoured.
class DeviceMap {
  public:
    static constexpr int portCount = 4;

    DeviceMap();

    // index 0 to 3 (COM1 to COM4). Out-of-range indexes are ignored / give "".
    void setPath(int index, std::string path);
    const std::string& path(int index) const;

    static std::string defaultPath(int index);
    // "COM1" to "COM4" (any case) to 0 to 3; nullopt for anything else.
    static std::optional<int> indexOfName(std::string_view name);
    static std::string portName(int index);

  private:
    std::array<std::string, portCount> m_paths;
};

}  // namespace chronvane

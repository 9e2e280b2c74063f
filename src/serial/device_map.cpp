#include "device_map.h"

#include <utility>

#include "core/ascii_case.h"
#include "virtual_port.h"

namespace chronvane {

DeviceMap::DeviceMap() {
    for (int i = 0; i < portCount; ++i) {
        m_paths[static_cast<std::size_t>(i)] = defaultPath(i);
    }
}

void DeviceMap::setPath(int index, std::string path) {
    if (index >= 0 && index < portCount) {
        m_paths[static_cast<std::size_t>(index)] = std::move(path);
        m_virtualPorts[static_cast<std::size_t>(index)].reset();
    }
}

void DeviceMap::setVirtual(int index, std::shared_ptr<VirtualPort> port) {
    if (index >= 0 && index < portCount) {
        if (!port) {
            m_paths[static_cast<std::size_t>(index)] = defaultPath(index);
        }
        m_virtualPorts[static_cast<std::size_t>(index)] = std::move(port);
    }
}

const std::shared_ptr<VirtualPort>& DeviceMap::virtualPort(int index) const {
    static const std::shared_ptr<VirtualPort> none;
    return index >= 0 && index < portCount ? m_virtualPorts[static_cast<std::size_t>(index)] : none;
}

const std::string& DeviceMap::path(int index) const {
    static const std::string none;
    if (index < 0 || index >= portCount) {
        return none;
    }
    const auto& port = m_virtualPorts[static_cast<std::size_t>(index)];
    return port ? port->readerPath() : m_paths[static_cast<std::size_t>(index)];
}

std::optional<int> DeviceMap::indexOfName(std::string_view name) {
    if (name.size() < 4 || name.size() > 6) {
        return std::nullopt;
    }
    if (asciiLower(name.substr(0, 3)) != "com" || name[3] == '0') {
        return std::nullopt;
    }
    int number = 0;
    for (const char c : name.substr(3)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + (c - '0');
    }
    if (number > portCount) {
        return std::nullopt;
    }
    return number - 1;
}

std::string DeviceMap::portName(int index) {
    return "COM" + std::to_string(index + 1);
}

}  // namespace chronvane

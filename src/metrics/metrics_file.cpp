#include "metrics_file.h"

#include <utility>

#include "exposition.h"

namespace chronvane {

MetricsFile::MetricsFile(std::string folder, const std::string& device) {
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') {
        folder += '/';
    }
    m_path = folder + metricsFileName(device);
    m_temporary = m_path + ".tmp";
}

std::string MetricsFile::write(const std::string& text) {
    const SystemError error = replaceFile(m_path, m_temporary, text);
    if (!error.failed()) {
        m_failing = false;
        return {};
    }
    if (std::exchange(m_failing, true)) {
        return {};
    }
    return "cannot write the metrics file " + m_path + ": " + errorText(error);
}

}  // namespace chronvane

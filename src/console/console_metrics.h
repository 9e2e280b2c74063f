#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "clock/clock.h"
#include "clock/clock_controller.h"
#include "metrics/metrics_file.h"
#include "metrics/send_tally.h"

namespace chronvane {

// The console's metrics file (--metrics): the controller counts into tally(), and
// the loop hands every handled tick to tickHandled, which writes the file every
// writeEverySeconds in the middle of a second, far from the change of second
// where the next message is due. writeNow is for the start and the stop.
class ConsoleMetrics {
  public:
    static constexpr int writeEverySeconds = 5;

    // report: told, once, that the folder cannot be written (see MetricsFile).
    ConsoleMetrics(std::string folder, int advanceMillis, std::function<void(const std::string&)> report);

    SendTally& tally() { return m_tally; }
    void tickHandled(const ClockController& controller, Clock& clock);
    void writeNow(const ClockController& controller, Clock& clock);

  private:
    std::string m_folder;
    int m_advanceMillis;
    std::function<void(const std::string&)> m_report;
    SendTally m_tally;
    // Made at the first write, when the start sequence has chosen the port.
    std::optional<MetricsFile> m_file;
    std::optional<std::int64_t> m_writtenSecond;
};

}  // namespace chronvane

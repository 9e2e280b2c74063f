#include "console_metrics.h"

#include <utility>

#include "chronvane32_version.h"
#include "core/line_settings.h"
#include "formats/format_registry.h"
#include "metrics/exposition.h"
#include "serial/device_map.h"

namespace chronvane {
namespace {

// A write from here to this far into a second stays clear of the next message and
// of the lead before it; the tick's 100 ms slots always land one in it.
constexpr std::int64_t writeFromMicros = 300'000;
constexpr std::int64_t writeUntilMicros = 800'000;

}  // namespace

ConsoleMetrics::ConsoleMetrics(std::string folder, int advanceMillis,
                               std::function<void(const std::string&)> report)
    : m_folder(std::move(folder)), m_advanceMillis(advanceMillis), m_report(std::move(report)) {}

void ConsoleMetrics::tickHandled(const ClockController& controller, Clock& clock) {
    const std::optional<Clock::WallReading> reading = clock.readWall();
    if (!reading) {
        return;
    }
    const std::int64_t shown = reading->shownMicros();
    const std::int64_t into = ((shown % 1'000'000) + 1'000'000) % 1'000'000;
    const std::int64_t second = (shown - into) / 1'000'000;
    if (into < writeFromMicros || into >= writeUntilMicros ||
        (m_writtenSecond && second - *m_writtenSecond < writeEverySeconds &&
         second >= *m_writtenSecond)) {
        return;
    }
    writeNow(controller, clock);
    m_writtenSecond = second;
}

void ConsoleMetrics::writeNow(const ClockController& controller, Clock& clock) {
    const std::optional<int> port = controller.activePort();
    if (!port) {
        return;
    }
    SenderMetrics metrics;
    metrics.device = controller.activeDevicePath();
    metrics.com = DeviceMap::portName(*port - 1);
    if (!m_file) {
        m_file.emplace(m_folder, metrics.device);
    }
    metrics.version = CHRONVANE32_VERSION;
    metrics.format = std::string(namesOf(controller.protocol()).jsonName);
    metrics.line = lineOptionText(controller.line());
    metrics.advanceMillis = m_advanceMillis;
    metrics.tally = m_tally;
    metrics.delays = m_tally.delays(clock.currentSecond());
    metrics.deviceOpen = controller.port().isOpen();
    if (const auto& state = controller.clockState();
        state && state->sync != ClockState::Sync::Unknown) {
        metrics.clock = SenderMetrics::Clock{state->isSynchronised(), state->estimatedErrorMicros,
                                             state->maxErrorMicros,
                                             state->leap != ClockState::Leap::None};
    }
    if (const std::string problem = m_file->write(expositionText(metrics)); !problem.empty()) {
        m_report(problem);
    }
}

}  // namespace chronvane

#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "send_tally.h"

namespace chronvane {

// One sender's figures as a scrape should see them.
struct SenderMetrics {
    // Labels on every series: the device's path and the COM name it stands for.
    std::string device;
    std::string com;
    // chronvane32_info's labels.
    std::string version;
    std::string format;
    std::string line;
    int advanceMillis = 0;

    SendTally tally;
    // As the tally gives them for the last minute; none before the first write.
    std::optional<SendTally::DelaySummary> delays;
    bool deviceOpen = false;

    // The clock's state as the program last read it; none while it is unknown
    // (never read, or the system would not tell), when its series are left out.
    struct Clock {
        bool synchronised = false;
        std::int64_t estimatedErrorMicros = 0;
        std::int64_t maxErrorMicros = 0;
        bool leapPending = false;
    };
    std::optional<Clock> clock;
};

// The text exposition format (version 0.0.4) of metrics: every series with its
// HELP and TYPE lines, named chronvane32_*, in base units (seconds), ending in a
// newline.
std::string expositionText(const SenderMetrics& metrics);

// The name of the file a sender on device writes into the collector's folder:
// "chronvane32_<device>.prom", the device's last path element with every
// character but [A-Za-z0-9_] made an underscore ("COM1", "ttyUSB0").
std::string metricsFileName(const std::string& device);

}  // namespace chronvane

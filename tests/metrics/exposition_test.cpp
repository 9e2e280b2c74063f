#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "metrics/exposition.h"
#include "metrics/metrics_file.h"

namespace chronvane {
namespace {

SenderMetrics fixedState() {
    SenderMetrics m;
    m.device = "/dev/ttyUSB0";
    m.com = "COM1";
    m.version = "1.0";
    m.format = "ese";
    m.line = "9600,8N1";
    m.advanceMillis = 20;
    m.tally.sent = 120;
    m.tally.late = 2;
    m.tally.missed = 3;
    m.tally.reopens = 1;
    m.tally.writeFailures = 4;
    m.tally.lastMessageSecond = 1'700'000'000;
    m.delays = SendTally::DelaySummary{40, 1'500, 2'000'001};
    m.deviceOpen = true;
    m.clock = SenderMetrics::Clock{true, 400, 12'000, false};
    return m;
}

TEST(Exposition, EverySeriesCarriesItsHelpTypeAndLabels) {
    const std::string text = expositionText(fixedState());
    const std::string labels = "{device=\"/dev/ttyUSB0\",com=\"COM1\"";
    struct Row {
        const char* name;
        const char* type;
        std::string sample;
    };
    const Row rows[] = {
        {"chronvane32_messages_sent_total", "counter", labels + "} 120"},
        {"chronvane32_messages_late_total", "counter", labels + "} 2"},
        {"chronvane32_seconds_missed_total", "counter", labels + "} 3"},
        {"chronvane32_reopens_total", "counter", labels + "} 1"},
        {"chronvane32_write_failures_total", "counter", labels + "} 4"},
        {"chronvane32_device_open", "gauge", labels + "} 1"},
        {"chronvane32_last_message_time_seconds", "gauge", labels + "} 1700000000"},
        {"chronvane32_clock_synchronised", "gauge", labels + "} 1"},
        {"chronvane32_clock_estimated_error_seconds", "gauge", labels + "} 0.000400"},
        {"chronvane32_clock_max_error_seconds", "gauge", labels + "} 0.012000"},
        {"chronvane32_clock_leap_pending", "gauge", labels + "} 0"},
        {"chronvane32_send_delay_seconds", "gauge", labels + ",quantile=\"0.99\"} 0.001500"},
        {"chronvane32_send_delay_max_seconds", "gauge", labels + "} 2.000001"},
        {"chronvane32_info", "gauge",
         labels + ",version=\"1.0\",format=\"ese\",line=\"9600,8N1\",advance_ms=\"20\"} 1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_NE(text.find(std::string("# HELP ") + row.name + " "), std::string::npos);
        EXPECT_NE(text.find(std::string("# TYPE ") + row.name + " " + row.type + "\n"),
                  std::string::npos);
        // Built by appending: GCC 12 at -O3 warns falsely on a literal plus a temporary.
        std::string sampleLine = "\n";
        sampleLine.append(row.name).append(row.sample).append("\n");
        EXPECT_NE(text.find(sampleLine), std::string::npos);
    }
    // An unknown clock has no series rather than a false 0.
    SenderMetrics unknown = fixedState();
    unknown.clock.reset();
    EXPECT_EQ(expositionText(unknown).find("chronvane32_clock_"), std::string::npos);
    EXPECT_EQ(metricsFileName("/dev/serial/by-id/usb-FTDI_A1-port0"),
              "chronvane32_usb_FTDI_A1_port0.prom");
    EXPECT_EQ(metricsFileName("\\\\.\\COM10"), "chronvane32_COM10.prom");
}

TEST(MetricsFile, ReplacesInOneStepAndSaysAnUnwritableFolderOnce) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("chronvane-metrics-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    MetricsFile file(dir.string(), "/dev/ttyUSB0");
    umask(0077);  // as the service runs: the collector must still read it
    EXPECT_EQ(file.write("a 1\n"), "");
    EXPECT_EQ(file.write("a 2\n"), "");
    std::ifstream in(file.path());
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "a 2\n");
    EXPECT_EQ(std::filesystem::status(file.path()).permissions() & std::filesystem::perms::others_read,
              std::filesystem::perms::others_read);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "a temporary file is left";

    std::filesystem::remove_all(dir);
    EXPECT_EQ(file.write("a 3\n"),
              "cannot write the metrics file " + file.path() + ": No such file or directory");
    EXPECT_EQ(file.write("a 4\n"), "");
    std::filesystem::create_directories(dir);
    EXPECT_EQ(file.write("a 5\n"), "");
    std::filesystem::remove_all(dir);
    EXPECT_NE(file.write("a 6\n"), "") << "said again after it had worked";
}

}  // namespace
}  // namespace chronvane

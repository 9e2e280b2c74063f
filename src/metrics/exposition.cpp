#include "exposition.h"

#include <cstdio>

namespace chronvane {
namespace {

// A label value with what the format escapes escaped.
std::string escaped(const std::string& value) {
    std::string text;
    for (const char c : value) {
        if (c == '\\' || c == '"') {
            text += '\\';
            text += c;
        } else if (c == '\n') {
            text += "\\n";
        } else {
            text += c;
        }
    }
    return text;
}

std::string secondsText(std::int64_t micros) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%lld.%06lld", micros < 0 ? "-" : "",
                  static_cast<long long>((micros < 0 ? -micros : micros) / 1'000'000),
                  static_cast<long long>((micros < 0 ? -micros : micros) % 1'000'000));
    return text;
}

class Exposition {
  public:
    explicit Exposition(const SenderMetrics& metrics)
        : m_labels("device=\"" + escaped(metrics.device) + "\",com=\"" + escaped(metrics.com) +
                   "\"") {}

    void family(const char* name, const char* type, const char* help) {
        m_text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    }
    void sample(const char* name, const std::string& value, const std::string& moreLabels = {}) {
        m_text += std::string(name) + "{" + m_labels + moreLabels + "} " + value + "\n";
    }
    void one(const char* name, const char* type, const char* help, const std::string& value) {
        family(name, type, help);
        sample(name, value);
    }
    std::string take() { return std::move(m_text); }

  private:
    std::string m_labels;
    std::string m_text;
};

}  // namespace

std::string expositionText(const SenderMetrics& m) {
    Exposition out(m);
    const SendTally& t = m.tally;
    out.one("chronvane32_messages_sent_total", "counter", "Time messages that left the serial port.",
            std::to_string(t.sent));
    out.one("chronvane32_messages_late_total", "counter",
            "Time messages whose write began more than 1 ms after their point.",
            std::to_string(t.late));
    out.one("chronvane32_seconds_missed_total", "counter",
            "Seconds in which no time message left.", std::to_string(t.missed));
    out.one("chronvane32_reopens_total", "counter",
            "Times the device was opened again after it went away.", std::to_string(t.reopens));
    out.one("chronvane32_write_failures_total", "counter",
            "Writes of a time message that failed.", std::to_string(t.writeFailures));
    out.one("chronvane32_device_open", "gauge", "1 while the device is open, else 0.",
            m.deviceOpen ? "1" : "0");
    if (t.lastMessageSecond) {
        out.one("chronvane32_last_message_time_seconds", "gauge",
                "The time the last message that left carried, in seconds since the epoch.",
                std::to_string(*t.lastMessageSecond));
    }
    if (m.clock) {
        out.one("chronvane32_clock_synchronised", "gauge",
                "1 while the system clock is synchronised, else 0.",
                m.clock->synchronised ? "1" : "0");
        out.one("chronvane32_clock_estimated_error_seconds", "gauge",
                "The time daemon's estimate of the system clock's error.",
                secondsText(m.clock->estimatedErrorMicros));
        out.one("chronvane32_clock_max_error_seconds", "gauge",
                "The bound on the system clock's error.", secondsText(m.clock->maxErrorMicros));
        out.one("chronvane32_clock_leap_pending", "gauge",
                "1 while a leap second is announced for the end of the UTC day, else 0.",
                m.clock->leapPending ? "1" : "0");
    }
    if (m.delays) {
        out.family("chronvane32_send_delay_seconds", "gauge",
                   "From a message's point to the start of its write, over the last minute.");
        out.sample("chronvane32_send_delay_seconds", secondsText(m.delays->medianMicros),
                   ",quantile=\"0.5\"");
        out.sample("chronvane32_send_delay_seconds", secondsText(m.delays->p99Micros),
                   ",quantile=\"0.99\"");
        out.one("chronvane32_send_delay_max_seconds", "gauge",
                "The longest send delay over the last minute.", secondsText(m.delays->maxMicros));
    }
    out.family("chronvane32_info", "gauge", "What the sender sends; always 1.");
    out.sample("chronvane32_info", "1",
               ",version=\"" + escaped(m.version) + "\",format=\"" + escaped(m.format) +
                   "\",line=\"" + escaped(m.line) + "\",advance_ms=\"" +
                   std::to_string(m.advanceMillis) + "\"");
    return out.take();
}

std::string metricsFileName(const std::string& device) {
    const std::size_t slash = device.find_last_of("/\\");
    std::string name = slash == std::string::npos ? device : device.substr(slash + 1);
    for (char& c : name) {
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!kept) {
            c = '_';
        }
    }
    return "chronvane32_" + name + ".prom";
}

}  // namespace chronvane

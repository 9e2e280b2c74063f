#pragma once

// src/metrics: the sender's health for a monitoring system. Offers SendTally, which
// the controller keeps up at each second; SenderMetrics and expositionText, a
// sender's figures in the text exposition format a Prometheus scrape reads; and
// MetricsFile, the file a node_exporter textfile collector reads, replaced in one
// step so that no scrape ever sees half of it.

#include <array>
#include <cstdint>
#include <optional>

namespace chronvane {

// What happened to each second's message, counted since the start. Kept by the
// controller on the thread that sends; read between two ticks on that same thread.
// Nothing here allocates or locks, since part of it is kept right at the send.
class SendTally {
  public:
    // A message that entered its write more than this after its point is late.
    static constexpr std::int64_t lateMicros = 1000;
    // The send delays are summarised over this many of the latest seconds.
    static constexpr int delayWindowSeconds = 60;

    std::uint64_t sent = 0;
    std::uint64_t late = 0;
    // Seconds that passed without a message leaving: skipped ticks, a device that
    // was away, a failed write, the wait for synchronisation.
    std::uint64_t missed = 0;
    std::uint64_t reopens = 0;
    std::uint64_t writeFailures = 0;
    // The second (from the Unix epoch) the last message that left carried.
    std::optional<std::int64_t> lastMessageSecond;

    // A second after the first was handled; skipped: the seconds between it and
    // the one handled before, which no tick saw.
    void secondHandled(std::int64_t skipped, bool messageLeft);
    // The write of second's message was entered delayMicros after its point; sent:
    // whether it left.
    void writeEntered(std::int64_t second, std::int64_t delayMicros);
    void written(std::int64_t second, bool sent);

    struct DelaySummary {
        std::int64_t medianMicros = 0;
        std::int64_t p99Micros = 0;
        std::int64_t maxMicros = 0;
    };
    // Over the writes entered in the delayWindowSeconds before nowSecond (as the
    // messages count seconds) and in it; none when there were none.
    std::optional<DelaySummary> delays(std::int64_t nowSecond) const;

  private:
    struct Delay {
        std::int64_t second = 0;
        std::int64_t micros = 0;
    };
    // One a second at most, so the window's worth fits; the oldest is overwritten.
    std::array<Delay, delayWindowSeconds + 4> m_delays{};
    std::size_t m_next = 0;
    std::size_t m_count = 0;
};

}  // namespace chronvane

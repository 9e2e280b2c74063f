#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace chronvane::monitor {

// Standard output that never holds up the reading of the line: reports wait in a
// queue of their own and a writer thread of its own hands them to fd as fast as
// whoever reads them takes them. A reader that stops (a pager, a full pipe, a
// terminal stopped with Ctrl+S) would otherwise stop the monitor reading the line
// too, and a message read late would be stamped late. The queue holds at most
// capBytes, the write under way included; a report that does not fit is dropped
// and counted, never written late out of order.
// fd's flags are left alone: O_NONBLOCK belongs to the open file description,
// which a shell shares with every program on the same terminal or pipe (even
// through a dup), and it would outlive a monitor killed with SIGKILL. The writer
// thread does the waiting instead.
class ReportOutput {
  public:
    static constexpr std::size_t defaultCapBytes = 1 << 20;

    explicit ReportOutput(int fd, std::size_t capBytes = defaultCapBytes);
    // A write still stuck then is left to end with the process.
    ~ReportOutput();
    ReportOutput(const ReportOutput&) = delete;
    ReportOutput& operator=(const ReportOutput&) = delete;

    // Queues one report (a whole line, newline included) for the writer.
    void add(const std::string& line);
    // Lets the queue leave within timeout, waiting for the reader; drops (counts)
    // what is still queued then.
    void drain(std::chrono::milliseconds timeout);

    // The reader went away (EPIPE): nothing written from now on would be read.
    bool readerGone() const;
    // Reports dropped: for a full queue, a reader gone or a failed write.
    long long dropped() const;
    // A write failed for another reason than a reader that is slow or gone.
    int writeError() const;

  private:
    // Shared with the writer thread, which outlives this object when its write
    // never returns.
    struct Shared;
    static void writeQueued(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> m_shared;
};

}  // namespace chronvane::monitor

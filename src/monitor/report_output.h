#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace chronvane::monitor {

// Standard output that never holds up the reading of the line: reports wait in a
// queue of their own and leave as fast as whoever reads them takes them. A reader
// that stops (a pager, a full pipe) would otherwise stop the monitor reading the
// line too, and a message read late would be stamped late. The queue holds at most
// capBytes; a report that does not fit is dropped and counted, never written late
// out of order. fd is made non-blocking while this lives, and its flags come back
// afterwards.
class ReportOutput {
  public:
    static constexpr std::size_t defaultCapBytes = 1 << 20;

    explicit ReportOutput(int fd, std::size_t capBytes = defaultCapBytes);
    ~ReportOutput();
    ReportOutput(const ReportOutput&) = delete;
    ReportOutput& operator=(const ReportOutput&) = delete;

    int fd() const { return m_fd; }
    // Queues one report (a whole line, newline included) and writes what it can.
    void add(const std::string& line);
    // Something is queued: wait for fd to take more (POLLOUT), then call flush().
    bool pending() const { return m_written < m_queue.size(); }
    // Writes what fd takes now without waiting.
    void flush();
    // Lets the queue leave within timeout, waiting for the reader; drops (counts)
    // what is still queued then.
    void drain(std::chrono::milliseconds timeout);

    // The reader went away (EPIPE): nothing written from now on would be read.
    bool readerGone() const { return m_readerGone; }
    // Reports dropped: for a full queue, a reader gone or a failed write.
    long long dropped() const { return m_dropped; }
    // A write failed for another reason than a reader that is slow or gone.
    int writeError() const { return m_writeError; }

  private:
    void dropQueued();

    int m_fd;
    int m_oldFlags;
    std::size_t m_capBytes;
    std::string m_queue;
    std::size_t m_written = 0;
    // Line ends in m_queue from m_written on: how many reports a drop loses.
    long long m_queuedReports = 0;
    long long m_dropped = 0;
    bool m_readerGone = false;
    int m_writeError = 0;
};

}  // namespace chronvane::monitor

#include <io.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include "console_output.h"

namespace chronvane {
namespace {

// Windows has no way to ask whether a pipe or a console can take a write without
// waiting, and a console window blocks every write while the operator has text
// selected in it (QuickEdit). So each descriptor gets a writer thread that does
// the waiting, and the clock only hands it lines: when the writer has fallen this
// far behind, new lines are dropped instead.
constexpr std::size_t maxQueuedLines = 64;

class LineWriter {
  public:
    explicit LineWriter(int fd) : m_fd(fd), m_thread([this] { run(); }) {
        // Never joined: the thread may be stuck in a write for as long as the
        // console is held, and must not hold the process's exit.
        m_thread.detach();
    }

    // Waits until everything queued has been written, or until deadline.
    void drain(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(m_mutex);
        m_idle.wait_until(lock, deadline, [this] { return m_queue.empty() && !m_writing; });
    }

    bool offer(const std::string& text) {
        const std::lock_guard lock(m_mutex);
        if (m_refused || m_queue.size() >= maxQueuedLines) {
            return false;
        }
        m_queue.push_back(text);
        m_wake.notify_one();
        return true;
    }

  private:
    void run() {
        for (;;) {
            std::string text;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return !m_queue.empty(); });
                text = std::move(m_queue.front());
                m_queue.pop_front();
                m_writing = true;
            }
            const bool written = writeAll(m_fd, text);
            const std::lock_guard lock(m_mutex);
            m_writing = false;
            if (!written) {
                m_refused = true;
                m_queue.clear();
            }
            m_idle.notify_all();
        }
    }

    int m_fd;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::string> m_queue;
    bool m_writing = false;
    // The descriptor refused a write: everything after it is refused too.
    bool m_refused = false;
    std::thread m_thread;
};

LineWriter* writerFor(int fd) {
    // Made on first use and never destroyed: a writer may be blocked in a write
    // while the process exits. One each for standard output and standard error.
    static LineWriter* const writers[] = {new LineWriter(standardOutput),
                                          new LineWriter(standardError)};
    static const bool drainedAtExit =
        std::atexit([] {
            // The last lines before an exit (say, "No timers available." and the exit
            // that follows it) still get out, unless the output is held.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds{500};
            for (LineWriter* writer : writers) {
                writer->drain(deadline);
            }
        }) == 0;
    static_cast<void>(drainedAtExit);
    if (fd == standardOutput) {
        return writers[0];
    }
    return fd == standardError ? writers[1] : nullptr;
}

}  // namespace

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const std::size_t left = text.size() - done;
        const auto chunk = static_cast<unsigned>(left < INT_MAX ? left : INT_MAX);
        const int n = _write(fd, text.data() + done, chunk);
        if (n < 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool writeIfReady(int fd, const std::string& text) {
    LineWriter* writer = writerFor(fd);
    return writer != nullptr ? writer->offer(text) : writeAll(fd, text);
}

}  // namespace chronvane

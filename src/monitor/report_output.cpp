#include "report_output.h"

#include <poll.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace chronvane::monitor {

struct ReportOutput::Shared {
    int fd;
    std::size_t capBytes;
    std::mutex mutex;
    // The writer waits on wake for reports or the end; drain waits on settled.
    std::condition_variable wake;
    std::condition_variable settled;
    std::string queue;
    // Reports in queue, and in the write under way with its size (0: no write
    // under way; a write is never of nothing).
    long long queuedReports = 0;
    long long writingReports = 0;
    std::size_t writingBytes = 0;
    bool stop = false;
    long long dropped = 0;
    bool readerGone = false;
    int writeError = 0;
    std::thread writer;
};

namespace {

// The bytes of text that reached fd before a failure, and the failure (0: none).
// Waits as long as fd does.
std::pair<std::size_t, int> writeWhole(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote > 0) {
            done += static_cast<std::size_t>(wrote);
        } else if (wrote < 0 && errno == EINTR) {
            continue;
        } else if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // An output left non-blocking by another program sharing it: this is
            // the thread that waits, so it waits here too.
            pollfd ready{fd, POLLOUT, 0};
            poll(&ready, 1, -1);
        } else {
            return {done, wrote < 0 ? errno : EIO};
        }
    }
    return {done, 0};
}

}  // namespace

ReportOutput::ReportOutput(int fd, std::size_t capBytes)
    : m_shared(std::make_shared<Shared>()) {
    m_shared->fd = fd;
    m_shared->capBytes = capBytes;
    // Started with the stop signals blocked, as the caller has them: they are
    // the reading thread's to take.
    m_shared->writer = std::thread(writeQueued, m_shared);
}

ReportOutput::~ReportOutput() {
    std::unique_lock lock(m_shared->mutex);
    m_shared->dropped += m_shared->queuedReports;
    m_shared->queuedReports = 0;
    m_shared->queue.clear();
    m_shared->stop = true;
    const bool stuck = m_shared->writingBytes > 0;
    lock.unlock();
    m_shared->wake.notify_all();
    if (stuck) {
        m_shared->writer.detach();
    } else {
        m_shared->writer.join();
    }
}

void ReportOutput::writeQueued(const std::shared_ptr<Shared>& shared) {
    Shared& s = *shared;
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.wake.wait(lock, [&] { return s.stop || !s.queue.empty(); });
        if (s.queue.empty()) {
            return;
        }
        std::string chunk;
        chunk.swap(s.queue);
        s.writingReports = s.queuedReports;
        s.writingBytes = chunk.size();
        s.queuedReports = 0;
        lock.unlock();
        const auto [done, error] = writeWhole(s.fd, chunk);
        lock.lock();
        if (error != 0) {
            // A report cut part-way counts as dropped too, and so does all after it.
            const long long written =
                std::count(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(done), '\n');
            // drain may have counted them already, having given up on this write.
            s.dropped += std::max(0LL, s.writingReports - written) + s.queuedReports;
            s.queuedReports = 0;
            s.queue.clear();
            if (error == EPIPE) {
                s.readerGone = true;
            } else {
                s.writeError = error;
            }
        }
        s.writingReports = 0;
        s.writingBytes = 0;
        s.settled.notify_all();
    }
}

void ReportOutput::add(const std::string& line) {
    {
        std::lock_guard lock(m_shared->mutex);
        Shared& s = *m_shared;
        if (s.readerGone || s.writeError != 0 || s.stop ||
            s.queue.size() + s.writingBytes + line.size() > s.capBytes) {
            ++s.dropped;
            return;
        }
        s.queue += line;
        ++s.queuedReports;
    }
    m_shared->wake.notify_one();
}

void ReportOutput::drain(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_shared->mutex);
    Shared& s = *m_shared;
    const bool empty =
        s.settled.wait_for(lock, timeout, [&] { return s.queue.empty() && s.writingBytes == 0; });
    if (!empty) {
        // What is still queued, and the write under way, will not be read in time.
        s.dropped += s.queuedReports + s.writingReports;
        s.queuedReports = 0;
        s.writingReports = 0;
        s.queue.clear();
    }
    s.stop = true;
    lock.unlock();
    s.wake.notify_all();
}

bool ReportOutput::readerGone() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->readerGone;
}

long long ReportOutput::dropped() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->dropped;
}

int ReportOutput::writeError() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->writeError;
}

}  // namespace chronvane::monitor

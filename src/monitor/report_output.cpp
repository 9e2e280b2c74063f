#include "report_output.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "core/deadline.h"

namespace chronvane::monitor {

ReportOutput::ReportOutput(int fd, std::size_t capBytes)
    : m_fd(fd), m_oldFlags(fcntl(fd, F_GETFL)), m_capBytes(capBytes) {
    if (m_oldFlags >= 0) {
        fcntl(fd, F_SETFL, m_oldFlags | O_NONBLOCK);
    }
}

ReportOutput::~ReportOutput() {
    if (m_oldFlags >= 0) {
        fcntl(m_fd, F_SETFL, m_oldFlags);
    }
}

void ReportOutput::add(const std::string& line) {
    if (m_readerGone || m_writeError != 0 || m_queue.size() - m_written + line.size() > m_capBytes) {
        ++m_dropped;
        return;
    }
    if (m_written > 0 && m_written == m_queue.size()) {
        m_queue.clear();
        m_written = 0;
    }
    m_queue += line;
    ++m_queuedReports;
    flush();
}

void ReportOutput::flush() {
    while (pending()) {
        const ssize_t wrote = ::write(m_fd, m_queue.data() + m_written, m_queue.size() - m_written);
        if (wrote > 0) {
            const auto begin = m_queue.begin() + static_cast<std::ptrdiff_t>(m_written);
            m_queuedReports -= std::count(begin, begin + wrote, '\n');
            m_written += static_cast<std::size_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote < 0 && errno == EAGAIN) {
            break;
        }
        if (wrote < 0 && errno == EPIPE) {
            m_readerGone = true;
        } else {
            m_writeError = wrote < 0 ? errno : EIO;
        }
        dropQueued();
        break;
    }
    // Keep the queue from growing by what has left already.
    if (m_written > m_capBytes) {
        m_queue.erase(0, m_written);
        m_written = 0;
    }
}

void ReportOutput::drain(std::chrono::milliseconds timeout) {
    const Deadline deadline(timeout);
    flush();
    while (pending()) {
        const std::chrono::milliseconds left = deadline.left();
        if (left.count() <= 0) {
            dropQueued();
            break;
        }
        pollfd watch{m_fd, POLLOUT, 0};
        poll(&watch, 1, static_cast<int>(left.count()));
        flush();
    }
}

void ReportOutput::dropQueued() {
    // A report cut part-way counts as dropped too.
    m_dropped += m_queuedReports;
    m_queuedReports = 0;
    m_queue.clear();
    m_written = 0;
}

}  // namespace chronvane::monitor

#include <windows.h>

#include <string>
#include <vector>

#include "event_log.h"
#include "event_messages.h"
#include "wide_text_windows.h"

namespace chronvane {
EventLogWriter::EventLogWriter(std::string who)
    : m_who(std::move(who)), m_source(RegisterEventSourceW(nullptr, eventSourceName)) {}

EventLogWriter::~EventLogWriter() {
    if (m_source != nullptr) {
        DeregisterEventSource(m_source);
    }
}

void EventLogWriter::report(unsigned short type, unsigned long eventId, const std::string& text) {
    if (m_source == nullptr) {
        return;
    }
    // The Event Viewer shows line breaks only as CR LF.
    std::string lines;
    for (const char c : text) {
        if (c == '\n') {
            lines += '\r';
        }
        lines += c;
    }
    const std::wstring message = wide(lines);
    const wchar_t* strings[] = {message.c_str()};
    ReportEventW(m_source, type, 0, eventId, nullptr, 1, 0, strings, nullptr);
}

void EventLogWriter::flushNotices() {
    if (!m_pendingNotices.empty()) {
        report(EVENTLOG_WARNING_TYPE, CHRONVANE_EVENT_SERVICE, m_who + ":\n" + m_pendingNotices);
        m_pendingNotices.clear();
    }
}

void EventLogWriter::started(const ClockController& /*controller*/) {
    flushNotices();
    report(EVENTLOG_INFORMATION_TYPE, CHRONVANE_EVENT_SERVICE, m_who + " started.");
}

void EventLogWriter::logEntry(const LogEntry& entry) {
    // Once a second while all is well: the Event Log is for what changes.
    if (entry.kind == LogKind::Transmitted) {
        return;
    }
    std::string text = entry.text;
    if (!m_pendingNotices.empty()) {
        text += "\n" + m_pendingNotices;
        m_pendingNotices.clear();
    }
    switch (entry.kind) {
        case LogKind::OpenFailed:
        case LogKind::TransmissionFailed:
        case LogKind::MetricsNotWritten:
            report(EVENTLOG_WARNING_TYPE, CHRONVANE_EVENT_PORT_TROUBLE, text);
            return;
        case LogKind::Opened:
            report(EVENTLOG_INFORMATION_TYPE, CHRONVANE_EVENT_PORT, text);
            return;
        case LogKind::Transmitted:
        case LogKind::ClockSynchronised:
        case LogKind::ClockNotSynchronised:
        case LogKind::ClockStateUnknown:
        case LogKind::LeapSecond:
        case LogKind::WaitingForSync:
        case LogKind::SyncWaitOver:
        case LogKind::SyncWaitGivenUp:
        case LogKind::ClockSet:
        case LogKind::LeapSecondSent:
        case LogKind::LeapSecondSkipped:
            break;
    }
    report(EVENTLOG_INFORMATION_TYPE, CHRONVANE_EVENT_CLOCK, text);
}

void EventLogWriter::notice(const std::string& text) {
    if (!m_pendingNotices.empty()) {
        m_pendingNotices += "\n";
    }
    m_pendingNotices += text;
}

void EventLogWriter::stopping() {
    flushNotices();
    report(EVENTLOG_INFORMATION_TYPE, CHRONVANE_EVENT_SERVICE,
           m_who + " stopping: the port is being closed.");
}

void EventLogWriter::reportError(const std::string& text) {
    flushNotices();
    report(EVENTLOG_ERROR_TYPE, CHRONVANE_EVENT_SERVICE, m_who + ": " + text);
}

}  // namespace chronvane

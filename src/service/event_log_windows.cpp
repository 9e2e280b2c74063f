#include <windows.h>

#include <string>
#include <vector>

#include "event_ids.h"
#include "event_log.h"
#include "event_messages.h"
#include "wide_text_windows.h"

namespace chronvane {
namespace {

// The message table must know every event ID the table of ids gives out, or the
// Event Viewer shows a "description cannot be found" in place of the text.
constexpr bool sameId(std::optional<EventIds> ids, unsigned long messageId) {
    return ids && ids->windowsEventId == messageId;
}
static_assert(startedEventIds.windowsEventId == CHRONVANE_EVENT_STARTED);
static_assert(stoppedEventIds.windowsEventId == CHRONVANE_EVENT_STOPPED);
static_assert(sameId(eventIds(LogKind::Opened), CHRONVANE_EVENT_OPENED));
static_assert(sameId(eventIds(LogKind::OpenFailed), CHRONVANE_EVENT_OPEN_FAILED));
static_assert(sameId(eventIds(LogKind::TransmissionFailed), CHRONVANE_EVENT_TRANSMISSION_FAILED));
static_assert(sameId(eventIds(LogKind::ClockSynchronised), CHRONVANE_EVENT_CLOCK_SYNCHRONISED));
static_assert(sameId(eventIds(LogKind::ClockNotSynchronised), CHRONVANE_EVENT_CLOCK_NOT_SYNCHRONISED));
static_assert(sameId(eventIds(LogKind::ClockStateUnknown), CHRONVANE_EVENT_CLOCK_STATE_UNKNOWN));
static_assert(sameId(eventIds(LogKind::LeapSecond), CHRONVANE_EVENT_LEAP_SECOND));
static_assert(sameId(eventIds(LogKind::LeapSecondSent), CHRONVANE_EVENT_LEAP_SECOND_SENT));
static_assert(sameId(eventIds(LogKind::LeapSecondSkipped), CHRONVANE_EVENT_LEAP_SECOND_SKIPPED));
static_assert(sameId(eventIds(LogKind::WaitingForSync), CHRONVANE_EVENT_WAITING_FOR_SYNC));
static_assert(sameId(eventIds(LogKind::SyncWaitOver), CHRONVANE_EVENT_SYNC_WAIT_OVER));
static_assert(sameId(eventIds(LogKind::SyncWaitGivenUp), CHRONVANE_EVENT_SYNC_WAIT_GIVEN_UP));
static_assert(sameId(eventIds(LogKind::ClockSet), CHRONVANE_EVENT_CLOCK_SET));
static_assert(sameId(eventIds(LogKind::MetricsNotWritten), CHRONVANE_EVENT_METRICS_NOT_WRITTEN));

}  // namespace

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
    report(EVENTLOG_INFORMATION_TYPE, startedEventIds.windowsEventId, m_who + " started.");
}

void EventLogWriter::logEntry(const LogEntry& entry) {
    // None for the "Transmitted" lines, once a second while all is well: the
    // Event Log is for what changes.
    const std::optional<EventIds> ids = eventIds(entry.kind);
    if (!ids) {
        return;
    }
    std::string text = entry.text;
    if (!m_pendingNotices.empty()) {
        text += "\n" + m_pendingNotices;
        m_pendingNotices.clear();
    }
    report(isTrouble(entry.kind) ? EVENTLOG_WARNING_TYPE : EVENTLOG_INFORMATION_TYPE,
           ids->windowsEventId, text);
}

void EventLogWriter::notice(const std::string& text) {
    if (!m_pendingNotices.empty()) {
        m_pendingNotices += "\n";
    }
    m_pendingNotices += text;
}

void EventLogWriter::stopping() {
    flushNotices();
    report(EVENTLOG_INFORMATION_TYPE, stoppedEventIds.windowsEventId,
           m_who + " stopping: the port is being closed.");
}

void EventLogWriter::reportError(const std::string& text) {
    flushNotices();
    report(EVENTLOG_ERROR_TYPE, CHRONVANE_EVENT_SERVICE, m_who + ": " + text);
}

}  // namespace chronvane

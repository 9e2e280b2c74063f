#pragma once

#include <string>

#include "clock/clock_window.h"
#include "console_observer.h"
#include "formats/format_registry.h"
#include "start/start_window.h"
#include "tick/tick_source.h"

namespace chronvane {

// The window's part when there is no window: the log goes to one descriptor
// (normally standard output) a line at a time, and what the operator needs to put
// things right (which device COMn is, why it would not open, that no timer could
// be had) goes to another (normally standard error). The protocol "radio" is
// whatever the start sequence checked; a minimize has nothing to act on.
class ConsoleStandIn final : public ClockWindow, public StartWindow {
  public:
    // tick: what startTimer starts. outFd, errFd: where the lines go; neither is
    // closed here.
    ConsoleStandIn(TickSource& tick, int outFd, int errFd);

    // ClockWindow
    Protocol selectedProtocol() const override { return m_protocol; }
    // Writes the newest line only: the controller appends exactly one line before
    // each call, so the earlier three have been written already. A line the output
    // cannot take at once is dropped, never waited for; the count of dropped lines
    // goes to the error descriptor once output flows again.
    void showLog(const MessageLog& log) override;
    // Success: "COMn is PATH". Failure: that line, then "PATH: reason (hint)". The
    // same failure reported again (a device being reopened once a second while it
    // is away) is written only once.
    void portOpenResult(int portNumber, const std::string& devicePath,
                        PortFailure failure) override;

    // StartWindow
    void checkPortRadio(int number) override;
    void checkProtocolRadio(Protocol protocol) override;
    void requestMinimize() override;
    // Starts the tick at periodMs; false (the reason in the tick's lastError) when no
    // timer can be had. There is only one timer, so identifier is not needed.
    bool startTimer(int identifier, int periodMs) override;
    // The text as one line on the error descriptor: nobody is there to press OK.
    void showMessageBox(const std::string& text) override;

    int portNumber() const { return m_portNumber; }
    // Also hands every log line and every operator notice to observer (may be null);
    // a notice repeated only to the error descriptor's reader is skipped here too.
    void setObserver(ConsoleObserver* observer) { m_observer = observer; }

  private:
    TickSource& m_tick;
    ConsoleObserver* m_observer = nullptr;
    int m_outFd;
    int m_errFd;
    int m_portNumber = 0;
    Protocol m_protocol = defaultProtocol;
    // The last open result written, to keep a repeating failure to one report.
    int m_reportedPort = 0;
    std::string m_reportedPath;
    PortFailure m_reportedFailure;
    // Log lines the output descriptor could not take since the last one it did.
    long m_droppedLines = 0;
};

}  // namespace chronvane

#pragma once

#include <QDialog>
#include <array>
#include <optional>
#include <string>

#include "tick/send_thread.h"
#include "start/start_window.h"
#include "clock/clock_controller.h"

class QLabel;
class QMenu;
class QRadioButton;

namespace chronvane {

// The main window: port and protocol radios, the four-line log, the system menu
// with its About entry, F1 for help. Owns the ClockController, which runs on a send
// thread of its own (SendThread) once the start sequence has started the tick:
// the window hands it the port clicks and the protocol, and shows what comes back
// (WindowHandOver) in order, on its own thread. Run it with exec(): the start
// sequence runs just before the window is first shown (so a "No timers
// available." box comes up before it), Enter, Escape and Close end the run.
// Destroying the object stops the send thread, then closes the port.
class ClockDialog : public QDialog, public StartWindow {
    Q_OBJECT

  public:
    // clock: where the time is read (SystemClock in the program, a fake in tests);
    // it must outlive the window. devices: what COM1 to COM4 stand for.
    ClockDialog(Clock& clock, DeviceMap devices, QWidget* parent = nullptr);
    ~ClockDialog() override;

    // The command-line text the start sequence reads (upper-cased by it).
    void setCommandLine(std::string commandLine) { m_commandLine = std::move(commandLine); }

    // The controller belongs to the send thread while it runs: use it before the
    // window is shown (setFlowControl), or where the thread is known to be idle.
    ClockController& controller() { return m_controller; }
    const ClockController& controller() const { return m_controller; }

    // The system menu; it opens at globalPos (nothing happens while it is open).
    QMenu* systemMenu() const { return m_systemMenu; }
    void showSystemMenu(const QPoint& globalPos);
    // The About box, modally, pane as helpExpanded says.
    void showAbout();
    // F1: the About box with its help pane open.
    void showHelp();

    // What the radios say now.
    Protocol selectedProtocol() const;
    // The send thread's tick comes this much before the wall clock's slots (see
    // TickSource::setAdvance); call it before the window is shown.
    void setAdvance(Advance advance) { m_sendThread.setAdvance(advance); }

    void checkPortRadio(int number) override;
    void checkProtocolRadio(Protocol protocol) override;
    void requestMinimize() override;
    // Starts the 100 ms tick and the send thread (one per window, whatever the
    // identifier). False when the system has no timer or thread to give; the
    // window then never transmits.
    bool startTimer(int identifier, int periodMs) override;
    void showMessageBox(const std::string& text) override;

    void setVisible(bool visible) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void initialize();
    void buildSystemMenu();
    // Told by the hand-over, on whichever thread queued a result.
    void resultsWaiting();
    // Shows what the send thread has handed over since the last call, in order.
    Q_INVOKABLE void showResults();
    void showLog(const MessageLog::Lines& lines);
    void showPortOpened(int portNumber, const std::string& devicePath, SystemError error);
    // The window's icon (so the taskbar and the minimized window) gets the lamp of
    // the state; the window's tooltip gives the state with its figures.
    void showClockState(const ClockState& state);
    void minimizeWhenOnScreen();
    QRadioButton* portRadio(int number) const;

    // Declared in this order so that the send thread stops first, then the
    // controller closes the port, then the hand-over goes.
    WindowHandOver m_handOver;
    ClockController m_controller;
    SendThread m_sendThread;
    std::string m_commandLine;
    bool m_initialized = false;
    bool m_minimizePending = false;
    std::array<QRadioButton*, portCount> m_portRadios{};
    std::array<QRadioButton*, radioProtocols.size()> m_protocolRadios{};
    std::array<QLabel*, MessageLog::lineCount> m_logLabels{};
    QMenu* m_systemMenu = nullptr;
    std::optional<ClockState::Sync> m_shownSync;
};

}  // namespace chronvane

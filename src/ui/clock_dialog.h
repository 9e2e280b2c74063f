#pragma once

#include <QDialog>
#include <array>
#include <memory>
#include <string>

#include "app/start_window.h"
#include "app/tick_source.h"
#include "clock/clock_controller.h"

class QLabel;
class QMenu;
class QRadioButton;
class QSocketNotifier;

namespace chronvane {

// The main window: port and protocol radios, the four-line log, the system menu
// with its About entry, F1 for help. Owns the ClockController and feeds it the
// 100 ms tick and the port clicks. Run it with exec(): the start sequence runs just
// before the window is first shown (so a "No timers available." box comes up
// before it), Enter, Escape and Close end the run. Destroying the object stops the
// tick and closes the port.
class ClockDialog : public QDialog, public ClockWindow, public StartWindow {
    Q_OBJECT

  public:
    // clock: where the time is read (SystemClock in the program, a fake in tests);
    // it must outlive the window. devices: what COM1 to COM4 stand for.
    ClockDialog(Clock& clock, DeviceMap devices, QWidget* parent = nullptr);
    ~ClockDialog() override;

    // The command-line text the start sequence reads (upper-cased by it).
    void setCommandLine(std::string commandLine) { m_commandLine = std::move(commandLine); }

    ClockController& controller() { return m_controller; }
    const ClockController& controller() const { return m_controller; }

    // The system menu; it opens at globalPos (nothing happens while it is open).
    QMenu* systemMenu() const { return m_systemMenu; }
    void showSystemMenu(const QPoint& globalPos);
    // The About box, modally, pane as helpExpanded says.
    void showAbout();
    // F1: the About box with its help pane open.
    void showHelp();

    Protocol selectedProtocol() const override;
    void showLog(const MessageLog& log) override;
    void portOpenResult(int portNumber, const std::string& devicePath, SystemError error) override;

    void checkPortRadio(int number) override;
    void checkProtocolRadio(Protocol protocol) override;
    void requestMinimize() override;
    // Starts the 100 ms tick (one tick per window, whatever the identifier). False
    // when the system has no timer to give; the window then never transmits.
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
    void onTickReady();
    void minimizeWhenOnScreen();
    QRadioButton* portRadio(int number) const;

    ClockController m_controller;
    std::string m_commandLine;
    bool m_initialized = false;
    bool m_minimizePending = false;
    std::array<QRadioButton*, portCount> m_portRadios{};
    std::array<QRadioButton*, allProtocols.size()> m_protocolRadios{};
    std::array<QLabel*, MessageLog::lineCount> m_logLabels{};
    QMenu* m_systemMenu = nullptr;
    TickSource m_tick;
    std::unique_ptr<QSocketNotifier> m_tickNotifier;
};

}  // namespace chronvane

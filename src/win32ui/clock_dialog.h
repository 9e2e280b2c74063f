#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <string>

#include "tick/send_thread.h"
#include "start/start_window.h"
#include "clock/clock_controller.h"
#include "resource.h"

namespace chronvane {

// The main window from dialog template 102: port and protocol radios and the
// four-line log, the system menu's About entry, the icon, F1 for help. Owns the
// ClockController, which runs on a send thread of its own (SendThread) once the
// start sequence has started the tick: the window hands it the port clicks and the
// protocol, and shows what comes back (WindowHandOver) in order, on its own
// thread. run() shows it modally; the start sequence runs while its controls exist
// but before it is first shown (so a "No timers available." box comes up first).
// Enter, Escape and Close end the run; the send thread stops when the window goes,
// and destroying the object closes the port.
class ClockDialog final : public StartWindow {
  public:
    // Posted by the send thread when it has handed something over.
    static constexpr UINT resultsMessage = WM_APP + 1;

    // instance: where the templates, the icon and the menu string live. clock must
    // outlive the window. devices: what COM1 to COM4 stand for.
    ClockDialog(HINSTANCE instance, Clock& clock, DeviceMap devices);
    ~ClockDialog() override;
    ClockDialog(const ClockDialog&) = delete;
    ClockDialog& operator=(const ClockDialog&) = delete;

    // The command-line text the start sequence reads (upper-cased by it).
    void setCommandLine(std::string commandLine) { m_commandLine = std::move(commandLine); }

    // Runs the window modally until it is closed. The reason when the window could
    // not be made at all; no failure otherwise.
    SystemError run();

    ClockController& controller() { return m_controller; }

    // What the radios say now.
    Protocol selectedProtocol() const;
    // The send thread's tick comes this much before the wall clock's slots (see
    // TickSource::setAdvance); call it before run().
    void setAdvance(Advance advance) { m_sendThread.setAdvance(advance); }

    void checkPortRadio(int number) override;
    void checkProtocolRadio(Protocol protocol) override;
    void requestMinimize() override;
    // The send thread on the waitable timer on the wall clock's slots where they can
    // be had, else a window timer with this identifier that ticks the controller on
    // the window's thread; false when neither can be had.
    bool startTimer(int identifier, int periodMs) override;
    void showMessageBox(const std::string& text) override;

  private:
    template <typename Dialog>
    friend INT_PTR CALLBACK boundDialogProcedure(HWND, UINT, WPARAM, LPARAM);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void initialize();
    void addAboutToSystemMenu();
    void paintMinimized();
    void showAbout();
    void onCommand(WORD id, WORD notification);
    void stopTick();
    // Told by the hand-over, on whichever thread queued a result.
    void resultsWaiting();
    // Shows what the send thread has handed over since the last call, in order.
    void showResults();
    void showLog(const MessageLog::Lines& lines);
    // The window's icon (so the taskbar and the minimized window) gets the lamp of
    // the state; a tooltip over the window gives the state with its figures.
    void showClockState(const ClockState& state);

    // One check of a minimize asked for at start: minimizes the shown window
    // again until it has stayed minimized for a second (or the checks run out).
    void checkMinimized();
    // Loads resource's icon in both sizes and, once the window exists, shows it.
    void setIcons(int resource);
    // The tooltip that gives the clock's state, over the window's own background.
    void addClockStateTip();
    // The tooltip's one tool: the whole window, with m_tipText.
    TOOLINFOA tipTool();

    HINSTANCE m_instance;
    // The thread that made the window, where its controls are touched.
    DWORD m_windowThread;
    // Declared in this order so that the send thread stops first, then the
    // controller closes the port, then the hand-over goes.
    WindowHandOver m_handOver;
    ClockController m_controller;
    SendThread m_sendThread;
    std::string m_commandLine;

    // The icon in use: the program's until the clock's state is known, then its lamp.
    // Shared icons (LR_SHARED): the system frees them with the program.
    HICON m_icon = nullptr;
    HICON m_smallIcon = nullptr;
    int m_iconResource = IDR_MAINFRAME;
    HWND m_tip = nullptr;
    std::string m_tipText;
    HWND m_window = nullptr;
    // The identifier of the window timer standing in for the tick; 0 when none runs.
    UINT_PTR m_windowTimer = 0;
    // Checks of a minimize asked for at start that are left (see requestMinimize).
    int m_minimizeChecksLeft = 0;
    // How many checks in a row have found the window minimized.
    int m_minimizedChecks = 0;
};

}  // namespace chronvane

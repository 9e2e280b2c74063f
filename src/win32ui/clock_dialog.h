#pragma once

#include <windows.h>

#include <string>

#include "app/start_window.h"
#include "clock/clock_controller.h"
#include "tick_pump.h"

namespace chronvane {

// The main window from dialog template 102: port and protocol radios and the
// four-line log, the system menu's About entry, the icon, F1 for help. Owns the
// ClockController and feeds it the 100 ms tick and the port clicks. run() shows it
// modally; the start sequence runs while its controls exist but before it is first
// shown (so a "No timers available." box comes up first). Enter, Escape and Close
// end the run; the tick stops when the window goes, and destroying the object
// closes the port.
class ClockDialog final : public ClockWindow, public StartWindow {
  public:
    // Posted by the tick's waiter thread for each expiry.
    static constexpr UINT tickMessage = WM_APP + 1;

    // instance: where the templates, the icon and the menu string live. clock must
    // outlive the window. devices: what COM1 to COM4 stand for.
    ClockDialog(HINSTANCE instance, Clock& clock, DeviceMap devices);
    ~ClockDialog() override;
    ClockDialog(const ClockDialog&) = delete;
    ClockDialog& operator=(const ClockDialog&) = delete;

    // The command-line text the start sequence reads (upper-cased by it).
    void setCommandLine(std::string commandLine) { m_commandLine = std::move(commandLine); }

    // Runs the window modally until it is closed. False, with the reason in
    // error, when the window could not be made at all.
    bool run(SystemError& error);

    ClockController& controller() { return m_controller; }

    Protocol selectedProtocol() const override;
    void showLog(const MessageLog& log) override;

    void checkPortRadio(int number) override;
    void checkProtocolRadio(Protocol protocol) override;
    void requestMinimize() override;
    // The waitable timer on the wall clock's slots where there is one, else a
    // window timer with this identifier; false when neither can be had.
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

    HINSTANCE m_instance;
    ClockController m_controller;
    std::string m_commandLine;
    HICON m_icon = nullptr;
    HICON m_smallIcon = nullptr;
    HWND m_window = nullptr;
    TickPump m_tick;
    // The identifier of the window timer standing in for the tick; 0 when none runs.
    UINT_PTR m_windowTimer = 0;
};

}  // namespace chronvane

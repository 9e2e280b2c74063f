#pragma once

#include <QString>

class QWidget;

namespace chronvane {

class ClockDialog;

// The README's pictures of the window. Once the window has run for a few seconds
// (so the log fills), saves clock-dialog.png, clock-state.png (the window with its
// clock-state tooltip shown), about.png (pane closed) and about-help.png (pane open)
// into the directory, then ends the window's run. Where a window manager frames the
// windows (a real X server) the pictures are taken from the screen, frame and
// title-bar icon included; off screen they hold the window's contents only. A
// picture that cannot be saved is reported on standard error and counted; the tour
// goes on.
class ScreenshotTour {
  public:
    ScreenshotTour(ClockDialog& dialog, QString directory);

    int failures() const { return m_failures; }

  private:
    void run();
    void showClockStateTip();
    void save(QWidget& widget, const QString& fileName, QWidget* beside = nullptr);
    void captureAbout(bool expanded, const QString& fileName);

    ClockDialog& m_dialog;
    QString m_directory;
    int m_failures = 0;
};

}  // namespace chronvane

#pragma once

#include <QString>

class QWidget;

namespace chronvane {

class ClockDialog;

// The README's pictures of the window. Once the window has run for a few seconds
// (so the log fills), saves clock-dialog.png, about.png (pane closed) and
// about-help.png (pane open) into the directory, then ends the window's run. A
// picture that cannot be saved is reported on standard error and counted; the tour
// goes on.
class ScreenshotTour {
  public:
    ScreenshotTour(ClockDialog& dialog, QString directory);

    int failures() const { return m_failures; }

  private:
    void run();
    void save(QWidget& widget, const QString& fileName);
    void captureAbout(bool expanded, const QString& fileName);

    ClockDialog& m_dialog;
    QString m_directory;
    int m_failures = 0;
};

}  // namespace chronvane

#pragma once

#include <QString>

class QWidget;

namespace chronvane {

class ClockDialog;

// Documentation pictures taken by the program itself. When CHRONVANE_SCREENSHOT_DIR
// names a directory, the window runs for a few seconds (so the log fills), then
// saves clock-dialog.png, about.png (pane closed) and about-help.png (pane open)
// there and ends the run. Without the variable it does nothing. A picture that
// cannot be saved is reported on standard error; the tour goes on.
class ScreenshotTour {
  public:
    explicit ScreenshotTour(ClockDialog& dialog);

  private:
    void run();
    void save(QWidget& widget, const QString& fileName) const;
    void captureAbout(bool expanded, const QString& fileName);

    ClockDialog& m_dialog;
    QString m_directory;
};

}  // namespace chronvane

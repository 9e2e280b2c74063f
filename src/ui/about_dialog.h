#pragma once

#include <QDialog>

#include "dialog_rules/dialog_rules.h"

class QPushButton;

namespace chronvane {

// Whether the pane is open: helpExpanded (app/dialog_rules.h), shared with every box.

// The About box: name, version, maker and author lines, OK, and a "Help >>" toggle
// that folds out the help pane below them. Built fresh for each showing. Opens with
// the pane closed, or, when helpExpanded is true, already open without a visible
// resize. Placed centred over its parent when that is shown and not minimized, else
// on the work area of the screen. Enter and Escape close it, leaving helpExpanded.
class AboutDialog : public QDialog {
    Q_OBJECT

  public:
    explicit AboutDialog(QWidget* parent = nullptr);

    // Opens the pane if closed, closes it if open; helpExpanded follows.
    void toggleHelp();
    bool isHelpPaneVisible() const;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void placeOnScreen();

    QWidget* m_top = nullptr;
    QWidget* m_pane = nullptr;
    QPushButton* m_helpButton = nullptr;
};

}  // namespace chronvane

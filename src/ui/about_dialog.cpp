#include "about_dialog.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "dialog_rules/dialog_rules.h"
#include "program_dialogs.h"
#include "program_icon.h"
#include "window_placement.h"

namespace chronvane {

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    const DialogTemplate& layout = aboutDialogTemplate();
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QString::fromUtf8(layout.caption));
    setWindowIcon(programIcon());

    // The top part and the pane are two fixed-size blocks in a layout that sizes the
    // box to fit: hiding the pane shortens the box, showing it grows it downward.
    const DialogUnits units = DialogUnits::fitted(font(), layout, *style());
    const int width = units.toPixelsX(layout.width);
    const int topHeight = units.toPixelsY(helpPaneTop());
    m_top = new QWidget(this);
    m_top->setObjectName(QStringLiteral("aboutTop"));
    m_top->setFixedSize(width, topHeight);
    m_pane = new QWidget(this);
    m_pane->setObjectName(QStringLiteral("helpPane"));
    m_pane->setFixedSize(width, units.toPixelsY(layout.height) - topHeight);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->setSizeConstraint(QLayout::SetFixedSize);
    column->addWidget(m_top);
    column->addWidget(m_pane);

    const BuiltControls top = buildControls(layout, m_top, units, 0, helpPaneTop());
    buildControls(layout, m_pane, units, helpPaneTop());

    if (auto* icon = qobject_cast<QLabel*>(top.byName.value(QStringLiteral("programIcon")))) {
        const int side = std::min(icon->width(), icon->height());
        icon->setPixmap(programIcon().pixmap(QSize(side, side), devicePixelRatioF()));
    }
    auto* ok = static_cast<QPushButton*>(top.byId.value(dialog::okButtonId));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    m_helpButton = static_cast<QPushButton*>(top.byId.value(dialog::helpButtonId));
    connect(m_helpButton, &QPushButton::clicked, this, &AboutDialog::toggleHelp);
    ok->setFocus();

    m_helpButton->setText(QString::fromUtf8(dialog::helpButtonText(false)));
    m_pane->hide();
    placeOnScreen();
    // Opened before the box is first shown, so it never appears at the short height.
    if (helpExpanded) {
        helpExpanded = false;
        toggleHelp();
    }
}

void AboutDialog::toggleHelp() {
    helpExpanded = !helpExpanded;
    m_helpButton->setText(QString::fromUtf8(dialog::helpButtonText(helpExpanded)));
    m_pane->setVisible(helpExpanded);
}

bool AboutDialog::isHelpPaneVisible() const {
    return !m_pane->isHidden();
}

void AboutDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        if (!helpExpanded) {
            toggleHelp();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void AboutDialog::placeOnScreen() {
    // Centred at the short height; opening the pane later grows the box downward.
    adjustSize();
    const QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect workArea = screen->availableGeometry();
    const bool overOwner = owner != nullptr && owner->isVisible() && !owner->isMinimized();
    const QRect over = overOwner ? owner->frameGeometry() : workArea;
    // Both come from the same window manager, so the owner's frame is the best
    // guess at the box's before it has one.
    centreWindow(*this, over, workArea, owner);
}

}  // namespace chronvane

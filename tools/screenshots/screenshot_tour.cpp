#include "screenshot_tour.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <cstdio>
#include <utility>

#include "ui/about_dialog.h"
#include "ui/clock_dialog.h"

namespace chronvane {
namespace {

// Long enough for three or four messages to reach the log.
constexpr int settleMs = 3600;
// Long enough for a tooltip to be drawn.
constexpr int tipMs = 600;

// The tooltip on screen, if one is.
QWidget* shownToolTip() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->inherits("QTipLabel")) {
            return widget;
        }
    }
    return nullptr;
}

}  // namespace

ScreenshotTour::ScreenshotTour(ClockDialog& dialog, QString directory)
    : m_dialog(dialog), m_directory(std::move(directory)) {
    QTimer::singleShot(settleMs, &m_dialog, [this] { run(); });
}

void ScreenshotTour::run() {
    save(m_dialog, QStringLiteral("clock-dialog.png"));
    showClockStateTip();
    QTimer::singleShot(tipMs, &m_dialog, [this] {
        save(m_dialog, QStringLiteral("clock-state.png"), shownToolTip());
        QToolTip::hideText();
        captureAbout(false, QStringLiteral("about.png"));
        captureAbout(true, QStringLiteral("about-help.png"));
        m_dialog.reject();
    });
}

void ScreenshotTour::showClockStateTip() {
    // Where the pointer would rest on the window's own background, between the
    // groups, so that the tip covers none of the log.
    const QPoint over(m_dialog.width() / 3, m_dialog.height() / 2 - 20);
    QToolTip::showText(m_dialog.mapToGlobal(over), m_dialog.toolTip(), &m_dialog);
}

void ScreenshotTour::captureAbout(bool expanded, const QString& fileName) {
    helpExpanded = expanded;
    QTimer::singleShot(0, &m_dialog, [this, fileName] {
        if (auto* box = qobject_cast<AboutDialog*>(QApplication::activeModalWidget())) {
            save(*box, fileName);
            box->accept();
        }
    });
    m_dialog.showAbout();
}

void ScreenshotTour::save(QWidget& widget, const QString& fileName, QWidget* beside) {
    const QString path = QDir(m_directory).filePath(fileName);
    QPixmap picture;
    QScreen* screen = widget.screen();
    const bool framed = widget.frameGeometry() != widget.geometry();
    if (screen != nullptr && (framed || beside != nullptr)) {
        QRect area = widget.frameGeometry();
        if (beside != nullptr) {
            area |= beside->frameGeometry();
        }
        picture = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    } else {
        picture = widget.grab();
    }
    if (picture.isNull() || !picture.save(path)) {
        std::fprintf(stderr, "chronvane32-screenshots: could not save %s\n", qPrintable(path));
        ++m_failures;
    }
}

}  // namespace chronvane

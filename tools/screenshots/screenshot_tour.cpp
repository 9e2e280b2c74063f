#include "screenshot_tour.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <utility>

#include "ui/about_dialog.h"
#include "ui/clock_dialog.h"

namespace chronvane {
namespace {

// Long enough for three or four messages to reach the log.
constexpr int settleMs = 3600;

}  // namespace

ScreenshotTour::ScreenshotTour(ClockDialog& dialog, QString directory)
    : m_dialog(dialog), m_directory(std::move(directory)) {
    QTimer::singleShot(settleMs, &m_dialog, [this] { run(); });
}

void ScreenshotTour::run() {
    save(m_dialog, QStringLiteral("clock-dialog.png"));
    captureAbout(false, QStringLiteral("about.png"));
    captureAbout(true, QStringLiteral("about-help.png"));
    m_dialog.reject();
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

void ScreenshotTour::save(QWidget& widget, const QString& fileName) {
    const QString path = QDir(m_directory).filePath(fileName);
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "chronvane32-screenshots: could not save %s\n", qPrintable(path));
        ++m_failures;
    }
}

}  // namespace chronvane

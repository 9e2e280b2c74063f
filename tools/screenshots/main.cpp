// Takes the README's pictures of the window: chronvane32-screenshots DIRECTORY.
// A tool of the source tree (scripts/screenshots runs it), never installed, so that
// the program a user starts carries no documentation hooks. COM1 is a virtual port,
// so the log shows real messages without any device. Under a window manager the
// pictures include the frame, whose icon is the clock-state lamp.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "clock/clock.h"
#include "clock/clock_state.h"
#include "screenshot_tour.h"
#include "serial/virtual_port.h"
#include "ui/clock_dialog.h"
#include "ui/program_icon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: chronvane32-screenshots DIRECTORY\n");
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[1]);
    QApplication application(argc, argv);
    // As the program names itself: the pictures show its window as a user sees it.
    QApplication::setApplicationName(QStringLiteral("chronvane32"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(chronvane::programIcon());

    chronvane::SystemError error;
    const auto port = chronvane::VirtualPort::create(error);
    if (!port) {
        std::fprintf(stderr, "chronvane32-screenshots: cannot make a virtual COM1: %s\n",
                     chronvane::errorText(error).c_str());
        return 1;
    }
    chronvane::DeviceMap devices;
    devices.setVirtual(0, port);
    chronvane::SystemClock clock;
    // The real reading: the pictures show this machine's clock state as it is.
    chronvane::SystemClockState clockState;
    chronvane::ClockDialog dialog(clock, devices);
    dialog.controller().setClockStateReader(&clockState);
    chronvane::ScreenshotTour tour(dialog, directory);
    dialog.exec();
    return tour.failures() == 0 ? 0 : 1;
}

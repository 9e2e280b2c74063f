#include "server_app.h"

#include <QApplication>

#include "clock/clock.h"
#include "clock_dialog.h"
#include "program_icon.h"
#include "screenshot_tour.h"

namespace chronvane {

ServerApp::ServerApp(int argc, char** argv)
    : m_argc(argc), m_application(std::make_unique<QApplication>(m_argc, argv)) {
    QApplication::setApplicationName(QStringLiteral("chronvane32"));
    // The modal window is the only loop; a closed message box must not end the run.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(programIcon());
}

ServerApp::~ServerApp() = default;

int ServerApp::run(const ProgramOptions& options) {
    SystemClock clock;
    auto dialog = std::make_unique<ClockDialog>(clock, options.devices);
    dialog->setCommandLine(options.commandLine);
    ScreenshotTour tour(*dialog);
    dialog->exec();
    // Stops the tick and closes the port.
    dialog.reset();
    return 0;
}

int runServerApp(ProgramOptions& options, int argc, char** argv) {
    ServerApp app(argc, argv);
    return app.run(options);
}

}  // namespace chronvane

#include "server_app.h"

#include <QApplication>

#include "clock/clock.h"
#include "clock_dialog.h"
#include "program_icon.h"
#include "screenshot_tour.h"

namespace chronvane {

ServerApp::ServerApp(int argc, char** argv)
    : m_argc(argc), m_argv(argv), m_application(std::make_unique<QApplication>(m_argc, argv)) {
    QApplication::setApplicationName(QStringLiteral("chronvane32"));
    // The modal window is the only loop; a closed message box must not end the run.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(programIcon());
}

ServerApp::~ServerApp() = default;

// Qt's own options (-platform minimal, -qwindowtitle COM3) are not ours: searched
// as text they would minimize the window or pick a port. Qt has taken them out of
// argv by now, so the command line is made again from what is left.
std::string ServerApp::withoutQtOptions(const std::string& commandLine) const {
    if (m_argc < 1) {
        return commandLine;
    }
    const ParseResult left = parseProgramArguments({m_argv + 1, m_argv + m_argc});
    return left.options ? left.options->commandLine : commandLine;
}

int ServerApp::run(const ProgramOptions& options) {
    SystemClock clock;
    auto dialog = std::make_unique<ClockDialog>(clock, options.devices);
    // Before the start sequence opens the port, at the dialog's first showing.
    dialog->controller().setFlowControl(options.flow);
    dialog->setCommandLine(withoutQtOptions(options.commandLine));
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

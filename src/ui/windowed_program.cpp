#include "windowed_program.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QtGlobal>

#include "process/program_name.h"
#include "process/console_output.h"
#include "start/exit_status.h"
#include "start/start_sequence.h"
#include "clock/clock.h"
#include "clock/clock_state.h"
#include "clock_dialog.h"
#include "program_icon.h"

namespace chronvane {
namespace {

// Qt's own warnings (XDG_RUNTIME_DIR unset, as under sudo) go where the program's
// lines go, never waiting: Qt would write them to standard error and wait there,
// and a full pipe or a terminal stopped with Ctrl+S would hold the window before
// its send thread starts, and the stop signals with it. The text is Qt's, in its
// format (QT_MESSAGE_PATTERN). After a fatal one Qt ends the process itself.
void writeQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    writeIfReady(standardError, qFormatLogMessage(type, context, message).toStdString() + "\n");
}

bool routeQtMessages() {
    qInstallMessageHandler(writeQtMessage);
    return true;
}

}  // namespace

WindowedProgram::WindowedProgram(int argc, char** argv)
    : m_argc(argc),
      m_argv(argv),
      m_qtMessagesRouted(routeQtMessages()),
      m_application(std::make_unique<QApplication>(m_argc, argv)) {
    QApplication::setApplicationName(QStringLiteral("chronvane32"));
    // The modal window is the only loop; a closed message box must not end the run.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(programIcon());
}

WindowedProgram::~WindowedProgram() = default;

// Qt's own options (-platform minimal, -qwindowtitle COM3) are not ours: searched
// as text they would minimize the window or pick a port. Qt has taken them out of
// argv by now, so the command line is made again from what is left.
std::string WindowedProgram::withoutQtOptions(const std::string& commandLine) const {
    if (m_argc < 1) {
        return commandLine;
    }
    const Parsed<ProgramOptions> left = parseProgramArguments({m_argv + 1, m_argv + m_argc});
    return left.value ? left.value->commandLine : commandLine;
}

// An About box or message box open over the window runs a loop of its own; each is
// closed first, top down, so that the window's own loop can end too.
void WindowedProgram::closeForStop(QDialog& window) {
    while (QWidget* modal = QApplication::activeModalWidget()) {
        auto* box = qobject_cast<QDialog*>(modal);
        if (modal == &window || box == nullptr) {
            break;
        }
        box->reject();
        if (QApplication::activeModalWidget() == modal) {
            break;
        }
    }
    window.reject();
}

int WindowedProgram::run(const ProgramOptions& options) {
    SystemClock clock(sendAdvance(options));
    SystemClockState clockState;
    auto dialog = std::make_unique<ClockDialog>(clock, options.devices);
    applyOptions(options, clockState, dialog->controller());
    dialog->setAdvance(sendAdvance(options));
    dialog->setCommandLine(withoutQtOptions(options.commandLine));
    std::unique_ptr<QSocketNotifier> stopNotifier;
    if (m_stopSignals.isWatching()) {
        stopNotifier = std::make_unique<QSocketNotifier>(
            static_cast<qintptr>(stopSignalDescriptor(m_stopSignals)), QSocketNotifier::Read);
        QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, dialog.get(),
                         [this, window = dialog.get()] {
                             if (takeStopRequest(m_stopSignals)) {
                                 closeForStop(*window);
                             }
                         });
    } else {
        writeIfReady(standardError, std::string(executableName) + ": cannot watch for " +
                                        StopSignals::watchedRequests() + ": " +
                                        errorText(m_stopSignals.error()) + "\n");
    }
    dialog->exec();
    stopNotifier.reset();
    // Stops the tick and closes the port.
    dialog.reset();
    return exitNormal;
}

int runWindowedProgram(ProgramOptions& options, int argc, char** argv) {
    WindowedProgram app(argc, argv);
    return app.run(options);
}

}  // namespace chronvane

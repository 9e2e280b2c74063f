#include "clock_dialog.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QWindow>
#include <utility>

#include "about_dialog.h"
#include "start/start_sequence.h"
#include "dialog_rules/dialog_rules.h"
#include "program_dialogs.h"
#include "program_icon.h"
#include "window_placement.h"

namespace chronvane {
namespace {

QString portToolTip(int index, const std::string& devicePath, SystemError error) {
    QString tip = QStringLiteral("%1 is %2")
                      .arg(QString::fromStdString(DeviceMap::portName(index)),
                           QString::fromStdString(devicePath));
    if (error.failed()) {
        tip += QStringLiteral("\nCould not be opened: %1")
                   .arg(QString::fromLocal8Bit(errorText(error).c_str()));
    }
    return tip;
}

QString applicationName() {
    return QString::fromStdString(
        dialog::applicationName(QCoreApplication::arguments().value(0).toStdString()));
}

// A box the start sequence shows comes up before the main window is on screen, where
// Qt would centre it over the window's unplaced corner: it goes to the middle of
// the screen instead, once its text has given it its size.
class StartMessageBox final : public QMessageBox {
  public:
    using QMessageBox::QMessageBox;

  protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        if (QScreen* screen = this->screen()) {
            const QRect workArea = screen->availableGeometry();
            centreWindow(*this, workArea, workArea, parentWidget());
        }
    }
};

}  // namespace

ClockDialog::ClockDialog(Clock& clock, DeviceMap devices, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_handOver([this] { resultsWaiting(); }),
      m_controller(clock, m_handOver, std::move(devices)),
      m_sendThread(m_controller) {
    const DialogTemplate& layout = clockDialogTemplate();
    setObjectName(QStringLiteral("clockDialog"));
    setWindowTitle(QString::fromUtf8(layout.caption));
    setWindowIcon(programIcon());
    const DialogUnits units = DialogUnits::fitted(font(), layout, *style());
    setFixedSize(units.toPixelsX(layout.width), units.toPixelsY(layout.height));

    const BuiltControls built = buildControls(layout, this, units);
    for (int i = 0; i < portCount; ++i) {
        m_portRadios.at(i) =
            static_cast<QRadioButton*>(built.byId.value(dialog::portRadioIds.at(i)));
        m_portRadios.at(i)->setToolTip(
            portToolTip(i, m_controller.port().devicePath(i), SystemError{}));
        connect(m_portRadios.at(i), &QRadioButton::clicked, this,
                [this, i] { m_sendThread.selectPort(i + 1); });
    }
    // The send thread reads the protocol for each message from the hand-over.
    for (std::size_t i = 0; i < m_protocolRadios.size(); ++i) {
        m_protocolRadios.at(i) =
            static_cast<QRadioButton*>(built.byId.value(dialog::protocolRadioIds.at(i)));
        connect(m_protocolRadios.at(i), &QRadioButton::toggled, this,
                [this] { m_handOver.setProtocol(selectedProtocol()); });
    }
    for (std::size_t i = 0; i < m_logLabels.size(); ++i) {
        m_logLabels.at(i) = static_cast<QLabel*>(built.byId.value(dialog::logLineIds.at(i)));
    }
    // The placeholders never show: the first refresh puts the (empty) log in.
    showLog(m_controller.log().lines());

    buildSystemMenu();
    auto* menuShortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(menuShortcut, &QShortcut::activated, this,
            [this] { showSystemMenu(mapToGlobal(QPoint(0, 0))); });
}

ClockDialog::~ClockDialog() {
    // A send under way ends first; the port closes after, with the controller.
    m_sendThread.stop();
}

void ClockDialog::buildSystemMenu() {
    m_systemMenu = new QMenu(this);
    m_systemMenu->setObjectName(QStringLiteral("systemMenu"));
    QAction* restore = m_systemMenu->addAction(QStringLiteral("&Restore"));
    restore->setObjectName(QStringLiteral("restoreAction"));
    connect(restore, &QAction::triggered, this, [this] { showNormal(); });
    QAction* moveAction = m_systemMenu->addAction(QStringLiteral("&Move"));
    moveAction->setObjectName(QStringLiteral("moveAction"));
    connect(moveAction, &QAction::triggered, this, [this] {
        // Handing the move to the window manager; it follows the pointer from here.
        if (QWindow* window = windowHandle()) {
            window->startSystemMove();
        }
    });
    m_systemMenu->addAction(QStringLiteral("&Size"))->setObjectName(QStringLiteral("sizeAction"));
    QAction* minimize = m_systemMenu->addAction(QStringLiteral("Mi&nimize"));
    minimize->setObjectName(QStringLiteral("minimizeAction"));
    connect(minimize, &QAction::triggered, this, [this] { showMinimized(); });
    m_systemMenu->addAction(QStringLiteral("Ma&ximize"))
        ->setObjectName(QStringLiteral("maximizeAction"));
    m_systemMenu->addSeparator();
    QAction* closeAction = m_systemMenu->addAction(QStringLiteral("&Close\tAlt+F4"));
    closeAction->setObjectName(QStringLiteral("closeAction"));
    connect(closeAction, &QAction::triggered, this, [this] { close(); });

    m_systemMenu->addSeparator();
    QAction* about = m_systemMenu->addAction(QString::fromStdString(aboutMenuText()));
    about->setObjectName(QStringLiteral("aboutAction"));
    connect(about, &QAction::triggered, this, &ClockDialog::showAbout);
    const QList<QAction*> actions = m_systemMenu->actions();
    for (const int position : dialog::greyedSystemMenuPositions) {
        if (position < actions.size()) {
            actions.at(position)->setEnabled(false);
        }
    }
    connect(m_systemMenu, &QMenu::aboutToShow, this,
            [this, restore] { restore->setEnabled(isMinimized()); });
}

void ClockDialog::showSystemMenu(const QPoint& globalPos) {
    m_systemMenu->popup(globalPos);
}

void ClockDialog::showAbout() {
    AboutDialog box(this);
    box.exec();
}

void ClockDialog::showHelp() {
    helpExpanded = true;
    showAbout();
}

Protocol ClockDialog::selectedProtocol() const {
    for (const Protocol protocol : radioProtocols) {
        if (m_protocolRadios.at(protocolIndex(protocol))->isChecked()) {
            return protocol;
        }
    }
    return defaultProtocol;
}

void ClockDialog::resultsWaiting() {
    // On this thread (the start sequence, or a click while no send thread runs)
    // the results are shown at once, as they happen. From the send thread, a
    // queued call by name: the thread only posts it, and what it hands over
    // travels under the hand-over's own lock.
    if (QThread::currentThread() == thread()) {
        showResults();
    } else {
        QMetaObject::invokeMethod(this, "showResults", Qt::QueuedConnection);
    }
}

void ClockDialog::showResults() {
    for (const WindowHandOver::Result& result : m_handOver.takeResults()) {
        switch (result.kind) {
            case WindowHandOver::Result::Kind::log:
                showLog(result.lines);
                break;
            case WindowHandOver::Result::Kind::portOpened:
                showPortOpened(result.portNumber, result.devicePath, result.error);
                break;
            case WindowHandOver::Result::Kind::clockState:
                showClockState(result.clockState);
                break;
        }
    }
}

void ClockDialog::showLog(const MessageLog::Lines& lines) {
    for (std::size_t i = 0; i < m_logLabels.size(); ++i) {
        m_logLabels.at(i)->setText(QString::fromStdString(lines.at(i)));
    }
}

void ClockDialog::showPortOpened(int portNumber, const std::string& devicePath,
                                 SystemError error) {
    if (QRadioButton* radio = portRadio(portNumber)) {
        radio->setToolTip(portToolTip(portNumber - 1, devicePath, error));
    }
}

QRadioButton* ClockDialog::portRadio(int number) const {
    if (number < 1 || number > portCount) {
        return nullptr;
    }
    return m_portRadios.at(static_cast<std::size_t>(number - 1));
}

void ClockDialog::showClockState(const ClockState& state) {
    // The icon only on a change: a new icon every second would make some taskbars
    // flash the button.
    if (m_shownSync != state.sync) {
        m_shownSync = state.sync;
        setWindowIcon(clockStateIcon(state.sync));
    }
    // Only when it changes, as the icon.
    const QString tip = QString::fromStdString(dialog::clockStateTip(state));
    if (tip != toolTip()) {
        setToolTip(tip);
    }
}

void ClockDialog::checkPortRadio(int number) {
    // The radios form one exclusive group, so checking one clears the others.
    if (QRadioButton* radio = portRadio(number)) {
        radio->setChecked(true);
    }
}

void ClockDialog::checkProtocolRadio(Protocol protocol) {
    m_protocolRadios.at(protocolIndex(protocol))->setChecked(true);
    m_handOver.setProtocol(protocol);
}

void ClockDialog::requestMinimize() {
    // Queued: it takes effect once the window is shown and its event loop runs.
    m_minimizePending = true;
    QMetaObject::invokeMethod(this, &ClockDialog::minimizeWhenOnScreen, Qt::QueuedConnection);
}

void ClockDialog::minimizeWhenOnScreen() {
    if (!m_minimizePending) {
        return;
    }
    // An X11 window manager ignores an iconify request for a window it has not
    // mapped yet, so the request waits for the window's first expose.
    QWindow* window = windowHandle();
    if (window != nullptr && !window->isExposed()) {
        window->installEventFilter(this);
        return;
    }
    m_minimizePending = false;
    showMinimized();
}

bool ClockDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose && watched == windowHandle() && m_minimizePending) {
        watched->removeEventFilter(this);
        QMetaObject::invokeMethod(this, &ClockDialog::minimizeWhenOnScreen, Qt::QueuedConnection);
    }
    return QDialog::eventFilter(watched, event);
}

bool ClockDialog::startTimer(int /*identifier*/, int periodMs) {
    return m_sendThread.start(periodMs);
}

void ClockDialog::showMessageBox(const std::string& text) {
    StartMessageBox box(QMessageBox::Warning, applicationName(), QString::fromStdString(text),
                        QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("startMessageBox"));
    box.exec();
}

void ClockDialog::setVisible(bool visible) {
    if (visible && !m_initialized) {
        m_initialized = true;
        initialize();
    }
    QDialog::setVisible(visible);
}

void ClockDialog::initialize() {
    runStartSequence(m_commandLine, *this, m_controller);
    // Centred in the work area, not over whatever window happens to be active.
    if (QScreen* screen = this->screen()) {
        const QRect workArea = screen->availableGeometry();
        centreWindow(*this, workArea, workArea);
    }
}

void ClockDialog::keyPressEvent(QKeyEvent* event) {
    const bool shift = event->modifiers() == Qt::ShiftModifier;
    switch (event->key()) {
        case Qt::Key_F1:
            if (event->modifiers() == Qt::NoModifier) {
                event->accept();
                showHelp();
                return;
            }
            break;
        case Qt::Key_F10:
            if (shift) {
                event->accept();
                showSystemMenu(mapToGlobal(QPoint(0, 0)));
                return;
            }
            break;
        case Qt::Key_Menu:
            event->accept();
            showSystemMenu(mapToGlobal(QPoint(0, 0)));
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // The window has no push button to be the default, so Enter is OK itself.
            event->accept();
            accept();
            return;
        default:
            break;
    }
    QDialog::keyPressEvent(event);
}

void ClockDialog::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    const bool byKeyboard = event->reason() == QContextMenuEvent::Keyboard;
    showSystemMenu(byKeyboard ? mapToGlobal(QPoint(0, 0)) : event->globalPos());
}

}  // namespace chronvane

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_clock.h"
#include "modal_probe.h"
#include "pty_pair.h"
#include "formats/format_registry.h"
#include "serial/serial_port.h"
#include "ui/about_dialog.h"
#include "ui/clock_dialog.h"

namespace chronvane {
namespace {

using test::FakeClock;
using test::PtyPair;
using test::whenModalOpens;

constexpr const char* missingDevice = "/nonexistent/chronvane-test-tty";

// How long, in all, the calling thread has waited for a processor while ready to
// run, in milliseconds; -1 where the kernel does not say.
qint64 waitedForAProcessorMs() {
    std::ifstream in("/proc/thread-self/schedstat");
    unsigned long long ranNs = 0;
    unsigned long long waitedNs = 0;
    return in >> ranNs >> waitedNs ? static_cast<qint64>(waitedNs / 1'000'000) : -1;
}

// The main window on a fake clock, with COM1 and COM2 on pseudo-terminals, COM3 on
// a path that does not exist and COM4 on a third terminal.
class ClockDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        helpExpanded = false;
        m_devices.setPath(0, m_com1.devicePath());
        m_devices.setPath(1, m_com2.devicePath());
        m_devices.setPath(2, missingDevice);
        m_devices.setPath(3, m_com4.devicePath());
    }

    // Builds and shows the window (which runs the start sequence and starts the
    // send thread), then lets the thread's first tick note the fake second, so
    // that later ticks add nothing unless a test moves the clock.
    ClockDialog& start(const std::string& commandLine = "") {
        show(commandLine);
        settle();
        return *m_dialog;
    }
    // The same without waiting for anything: the event loop has not run yet.
    ClockDialog& show(const std::string& commandLine) {
        m_dialog = std::make_unique<ClockDialog>(m_clock, m_devices);
        m_dialog->setCommandLine(commandLine);
        m_dialog->show();
        return *m_dialog;
    }

    // Waits until the send thread has carried out everything asked of it so far
    // and ticked once more, and the window has shown what came of it. The thread
    // reads the clock once per tick, after it has carried out the requests queued
    // before that tick: the second reading from now comes after a whole tick.
    void settle() {
        const int before = m_clock.readingCount();
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_clock.readingCount() >= before + 2; }))
            << "the send thread did not tick";
        QCoreApplication::processEvents();
    }

    // The next second, as the tick sees it.
    void nextSecond() {
        m_clock.nextSecond();
        settle();
    }

    template <typename T>
    T* child(const char* name) const {
        T* widget = m_dialog->findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    std::vector<std::string> labels() const {
        std::vector<std::string> texts;
        for (const char* name : {"logLine1", "logLine2", "logLine3", "logLine4"}) {
            texts.push_back(child<QLabel>(name)->text().toStdString());
        }
        return texts;
    }
    std::vector<std::string> logLines() const {
        const auto& lines = m_dialog->controller().log().lines();
        return {lines.begin(), lines.end()};
    }
    std::string bottomLine() const { return m_dialog->controller().log().line(3); }

    void click(const char* radio) {
        QTest::mouseClick(child<QRadioButton>(radio), Qt::LeftButton);
        settle();
    }

    static bool canOpen(int index, const DeviceMap& devices) {
        SerialPort port(devices);
        return port.open(index, timeLine);
    }

    PtyPair m_com1;
    PtyPair m_com2;
    PtyPair m_com4;
    DeviceMap m_devices;
    FakeClock m_clock;
    std::unique_ptr<ClockDialog> m_dialog;
};

TEST_F(ClockDialogTest, StartsOnComOneWithEseAndShowsTheEmptyLogBeforeTheOpenLine) {
    ClockDialog& dialog = start();
    EXPECT_TRUE(child<QRadioButton>("com1Radio")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("eseRadio")->isChecked());
    EXPECT_EQ(dialog.windowTitle(), "Chronvane32");
    // First line from the start sequence; the first tick only notes its second,
    // so the second line comes with the next change of second.
    EXPECT_EQ(labels()[3], "COM1 opened successfully.");
    nextSecond();
    EXPECT_EQ(labels()[2], "COM1 opened successfully.");
    EXPECT_EQ(labels()[0], "");
    EXPECT_EQ(labels(), logLines());
    EXPECT_EQ(dialog.controller().activePort(), 1);
}

TEST_F(ClockDialogTest, StartOptionsPickTheRadios) {
    struct Case {
        const char* commandLine;
        const char* port;
        const char* protocol;
    };
    const Case cases[] = {
        {"", "com1Radio", "eseRadio"},
        {"-com4 -com2", "com2Radio", "eseRadio"},
        {"com4 -OSTREL8", "com4Radio", "ostrelRadio"},
        {"-com5", "com1Radio", "eseRadio"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        start(c.commandLine);
        EXPECT_TRUE(child<QRadioButton>(c.port)->isChecked());
        EXPECT_TRUE(child<QRadioButton>(c.protocol)->isChecked());
        m_dialog.reset();
    }
}

TEST_F(ClockDialogTest, MinimizeIsQueuedUntilTheWindowRuns) {
    ClockDialog& dialog = show("-admin");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.isMinimized()) << "the minimize must wait for the event loop";
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isMinimized(); }));
    EXPECT_EQ(dialog.controller().activePort(), 1);
}

TEST_F(ClockDialogTest, PortClickOpensLogsAndFreesThePreviousPort) {
    ClockDialog& dialog = start();
    click("com2Radio");
    EXPECT_EQ(bottomLine(), "COM2 opened successfully.");
    EXPECT_EQ(dialog.controller().activePort(), 2);
    EXPECT_TRUE(canOpen(0, m_devices)) << "COM1 must be released";
    EXPECT_TRUE(child<QRadioButton>("com2Radio")
                    ->toolTip()
                    .contains(QString::fromStdString(m_com2.devicePath())));
    EXPECT_EQ(labels(), logLines());
}

TEST_F(ClockDialogTest, ClickOnTheOpenPortAddsNothing) {
    start();
    const auto before = logLines();
    click("com1Radio");
    EXPECT_EQ(logLines(), before);
}

TEST_F(ClockDialogTest, ClickAfterAFailedOpenTriesAgain) {
    ClockDialog& dialog = start();
    click("com3Radio");
    EXPECT_EQ(bottomLine(), "COM3 could not be opened.");
    EXPECT_EQ(dialog.controller().activePort(), std::nullopt);
    const QString tip = child<QRadioButton>("com3Radio")->toolTip();
    EXPECT_TRUE(tip.contains(missingDevice)) << tip.toStdString();
    EXPECT_TRUE(tip.contains("No such file or directory")) << tip.toStdString();
    click("com3Radio");
    EXPECT_EQ(logLines()[2], "COM3 could not be opened.");
    EXPECT_EQ(logLines()[3], "COM3 could not be opened.");
    // Nothing goes out while no port is open.
    nextSecond();
    EXPECT_EQ(logLines()[3], "COM3 could not be opened.");
    click("com4Radio");
    EXPECT_EQ(bottomLine(), "COM4 opened successfully.");
}

TEST_F(ClockDialogTest, ProtocolRadioIsReadAtTheNextSecond) {
    start();
    m_com1.drain();
    const auto before = logLines();
    click("ostrelRadio");
    EXPECT_EQ(logLines(), before) << "choosing a protocol sends nothing by itself";
    nextSecond();
    EXPECT_EQ(m_com1.read(48).size(), 48u);
    EXPECT_EQ(bottomLine().rfind("COM1: Transmitted \"", 0), 0u) << bottomLine();
    click("eseRadio");
    nextSecond();
    EXPECT_EQ(m_com1.read(12).size(), 12u);
    EXPECT_EQ(bottomLine().rfind("COM1: Transmitted ESE Clock message \"", 0), 0u) << bottomLine();
    EXPECT_EQ(labels(), logLines());
}

TEST_F(ClockDialogTest, TheRealTickReachesTheController) {
    start();
    const auto readings = m_clock.readingCount();
    const auto before = labels();
    m_clock.nextSecond();
    // The 100 ms tick, not the test, notices the new second.
    EXPECT_TRUE(QTest::qWaitFor([&] { return labels() != before; }));
    EXPECT_GT(m_clock.readingCount(), readings);
    EXPECT_EQ(labels(), logLines());
}

TEST_F(ClockDialogTest, SystemMenuHasTheItemsInOrderWithSizeAndMaximizeGreyed) {
    ClockDialog& dialog = start();
    QMenu* menu = dialog.systemMenu();
    struct Item {
        const char* text;
        bool enabled;
    };
    const Item expected[] = {
        {"&Restore", false},      {"&Move", true},      {"&Size", false},
        {"Mi&nimize", true},      {"Ma&ximize", false}, {"", true},
        {"&Close\tAlt+F4", true}, {"", true},           {"&About Chronvane32...", true},
    };
    dialog.showSystemMenu(dialog.mapToGlobal(QPoint(0, 0)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(std::size(expected)));
    for (qsizetype i = 0; i < actions.size(); ++i) {
        SCOPED_TRACE(i);
        const Item& item = expected[i];
        EXPECT_EQ(actions[i]->isSeparator(), *item.text == '\0');
        EXPECT_EQ(actions[i]->text().toStdString(), item.text);
        EXPECT_EQ(actions[i]->isEnabled(), item.enabled);
    }
    menu->hide();
}

TEST_F(ClockDialogTest, SystemMenuOpensFromMouseAndKeyboard) {
    ClockDialog& dialog = start();
    QMenu* menu = dialog.systemMenu();
    struct Opener {
        const char* name;
        std::function<void()> open;
    };
    const Opener openers[] = {
        {"Alt+Space",
         [&] {
             // A window shortcut needs its window to be the active one.
             QApplication::setActiveWindow(&dialog);
             EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
             QTest::keyClick(dialog.windowHandle(), Qt::Key_Space, Qt::AltModifier);
         }},
        {"right click",
         [&] {
             QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20),
                                     dialog.mapToGlobal(QPoint(20, 20)));
             QApplication::sendEvent(&dialog, &event);
         }},
        {"Shift+F10", [&] { QTest::keyClick(&dialog, Qt::Key_F10, Qt::ShiftModifier); }},
        {"Menu key", [&] { QTest::keyClick(&dialog, Qt::Key_Menu); }},
    };
    for (const Opener& opener : openers) {
        SCOPED_TRACE(opener.name);
        opener.open();
        EXPECT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
        menu->hide();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !menu->isVisible(); }));
    }
}

TEST_F(ClockDialogTest, MinimizeAndRestoreFromTheMenu) {
    ClockDialog& dialog = start();
    auto* minimize = dialog.systemMenu()->findChild<QAction*>("minimizeAction");
    auto* restore = dialog.systemMenu()->findChild<QAction*>("restoreAction");
    ASSERT_NE(minimize, nullptr);
    ASSERT_NE(restore, nullptr);
    minimize->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isMinimized(); }));
    emit dialog.systemMenu()->aboutToShow();
    EXPECT_TRUE(restore->isEnabled());
    restore->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isMinimized(); }));
}

TEST_F(ClockDialogTest, AboutFromTheMenuOpensWithThePaneClosedWhileTheTickGoesOn) {
    ClockDialog& dialog = start();
    auto* about = dialog.systemMenu()->findChild<QAction*>("aboutAction");
    ASSERT_NE(about, nullptr);
    bool inspected = false;
    whenModalOpens<AboutDialog>([&](AboutDialog* box) {
        ASSERT_NE(box, nullptr);
        inspected = true;
        EXPECT_FALSE(box->isHelpPaneVisible());
        EXPECT_EQ(box->findChild<QPushButton*>("helpButton")->text(), "Help >>");
        // The main window keeps sending while the box is up.
        const auto before = labels();
        m_clock.nextSecond();
        EXPECT_TRUE(QTest::qWaitFor([&] { return labels() != before; }));
        EXPECT_EQ(bottomLine().rfind("COM1: Transmitted", 0), 0u);
        EXPECT_EQ(labels(), logLines());
    });
    about->trigger();
    EXPECT_TRUE(inspected);
    EXPECT_FALSE(helpExpanded);
}

TEST_F(ClockDialogTest, F1OpensTheAboutBoxWithThePaneOpen) {
    ClockDialog& dialog = start();
    bool inspected = false;
    whenModalOpens<AboutDialog>([&](AboutDialog* box) {
        ASSERT_NE(box, nullptr);
        inspected = true;
        EXPECT_TRUE(box->isHelpPaneVisible());
        EXPECT_EQ(box->findChild<QPushButton*>("helpButton")->text(), "<< Help");
    });
    // F1 reaches the window from whichever control has the focus.
    child<QRadioButton>("com2Radio")->setFocus();
    QTest::keyClick(child<QRadioButton>("com2Radio"), Qt::Key_F1);
    EXPECT_TRUE(inspected);
    EXPECT_TRUE(helpExpanded);
    EXPECT_EQ(dialog.controller().activePort(), 1);
}

// Centred by the whole window, frame and caption included; the About box in the one
// place however it was opened, although F1 opens it taller.
TEST_F(ClockDialogTest, WindowAndAboutBoxAreCentredByTheirFrames) {
    ClockDialog& dialog = start();
    const QRect workArea = dialog.screen()->availableGeometry();
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.frameGeometry() != dialog.geometry(); }))
        << "the platform reports no frame to centre by";
    EXPECT_LE((dialog.frameGeometry().center() - workArea.center()).manhattanLength(), 2);

    QPoint fromMenu;
    QPoint fromF1;
    const auto record = [&](QPoint& where) {
        whenModalOpens<AboutDialog>([&](AboutDialog* box) {
            ASSERT_NE(box, nullptr);
            where = box->frameGeometry().topLeft();
        });
    };
    record(fromMenu);
    dialog.systemMenu()->findChild<QAction*>("aboutAction")->trigger();
    record(fromF1);
    QTest::keyClick(&dialog, Qt::Key_F1);
    EXPECT_EQ(fromF1, fromMenu);
}

// The start sequence's box comes before the window has a frame to lend it; once the
// window manager frames the box, it is centred again by that frame (caption
// included), not left by its client area, a caption's half above the middle. Only a
// window manager with a caption shows it (ui_tests_framed), not the off-screen
// platform's even frame.
TEST_F(ClockDialogTest, StartBoxIsCentredByItsFrame) {
    m_dialog = std::make_unique<ClockDialog>(m_clock, m_devices);
    bool inspected = false;
    whenModalOpens<QMessageBox>([&](QMessageBox* box) {
        ASSERT_NE(box, nullptr);
        inspected = true;
        const QRect workArea = box->screen()->availableGeometry();
        EXPECT_TRUE(QTest::qWaitFor([&] { return box->frameGeometry() != box->geometry(); }))
            << "the platform reports no frame to centre by";
        const auto offCentre = [&] {
            return (box->frameGeometry().center() - workArea.center()).manhattanLength();
        };
        // Placed again when the frame comes, which is an event away.
        (void)QTest::qWaitFor([&] { return offCentre() <= 2; });
        EXPECT_LE(offCentre(), 2) << "frame top " << box->frameGeometry().top() << ", client top "
                                  << box->geometry().top();
    });
    static_cast<StartWindow&>(*m_dialog).showMessageBox("No timers available.");
    EXPECT_TRUE(inspected);
}

TEST_F(ClockDialogTest, HelpPaneStateCarriesFromOneBoxToTheNext) {
    ClockDialog& dialog = start();
    auto* about = dialog.systemMenu()->findChild<QAction*>("aboutAction");
    // Each step: how the box opens, then whether to click the toggle before OK.
    struct Step {
        bool opensExpanded;
        bool toggle;
    };
    const Step steps[] = {{false, true}, {true, false}, {true, true}, {false, false}};
    for (const Step& step : steps) {
        bool inspected = false;
        whenModalOpens<AboutDialog>(
            [&](AboutDialog* box) {
                ASSERT_NE(box, nullptr);
                inspected = true;
                EXPECT_EQ(box->isHelpPaneVisible(), step.opensExpanded);
                if (step.toggle) {
                    QTest::mouseClick(box->findChild<QPushButton*>("helpButton"), Qt::LeftButton);
                }
                QTest::mouseClick(box->findChild<QPushButton*>("okButton"), Qt::LeftButton);
            },
            false);
        about->trigger();
        EXPECT_TRUE(inspected);
        EXPECT_EQ(helpExpanded, step.opensExpanded != step.toggle);
    }
}

TEST_F(ClockDialogTest, EnterEscapeAndCloseEndTheRunAndFreeTheDevice) {
    struct Case {
        const char* name;
        std::function<void(ClockDialog&)> end;
        int result;
    };
    const Case cases[] = {
        {"Escape", [](ClockDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, QDialog::Rejected},
        {"Enter", [](ClockDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }, QDialog::Accepted},
        {"Close",
         [](ClockDialog& d) { d.systemMenu()->findChild<QAction*>("closeAction")->trigger(); },
         QDialog::Rejected},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_dialog = std::make_unique<ClockDialog>(m_clock, m_devices);
        ClockDialog* dialog = m_dialog.get();
        QTimer::singleShot(50, dialog, [dialog, &c] { c.end(*dialog); });
        EXPECT_EQ(dialog->exec(), c.result);
        EXPECT_EQ(dialog->controller().activePort(), 1);
        EXPECT_FALSE(canOpen(0, m_devices)) << "held while the window object lives";
        m_dialog.reset();
        EXPECT_TRUE(canOpen(0, m_devices));
    }
}

// Equipment that holds the line with XOFF for three seconds: every write waits for
// it until the write gives up. The send thread waits; the window goes on answering
// clicks and repainting at once, and once the line is let go the next message
// carries the second it leaves in, not one it missed.
// A window that wrote on its own thread would stall for a held write's whole budget
// (SerialPort::writeBudget, 100 ms) at each message. A loaded machine stalls it too,
// by keeping it waiting for a processor: the kernel counts that time for the thread
// (schedstat's run delay), and it is taken off each latency, which is then the
// window's own.
TEST_F(ClockDialogTest, StaysResponsiveWhileTheDeviceHoldsWritesUp) {
    ASSERT_GE(waitedForAProcessorMs(), 0)
        << "/proc/thread-self/schedstat cannot be read: the kernel does not say how long "
           "this thread waited for a processor, which a loaded machine's latencies need";
    m_dialog = std::make_unique<ClockDialog>(m_clock, m_devices);
    ClockDialog& dialog = *m_dialog;
    dialog.controller().setFlowControl(FlowControl::XonXoff);
    dialog.show();
    settle();
    nextSecond();
    ASSERT_EQ(m_com1.read(12).size(), 12u);

    auto* radio = child<QRadioButton>("com1Radio");
    QElapsedTimer clock;
    clock.start();
    // When the latency began, on the wall clock and in this thread's waits.
    qint64 clickPosted = -1;
    qint64 clickWaited = 0;
    qint64 paintAsked = -1;
    qint64 paintWaited = 0;
    std::vector<qint64> clickLatencies;
    std::vector<qint64> paintLatencies;
    const auto latency = [&](qint64 since, qint64 waitedSince) {
        return clock.elapsed() - since - (waitedForAProcessorMs() - waitedSince);
    };
    QObject::connect(radio, &QRadioButton::clicked, &dialog, [&] {
        if (clickPosted >= 0) {
            clickLatencies.push_back(latency(clickPosted, clickWaited));
            clickPosted = -1;
        }
    });
    struct PaintWatch : QObject {
        std::function<void()> painted;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                painted();
            }
            return false;
        }
    } paintWatch;
    paintWatch.painted = [&] {
        if (paintAsked >= 0) {
            paintLatencies.push_back(latency(paintAsked, paintWaited));
            paintAsked = -1;
        }
    };
    dialog.installEventFilter(&paintWatch);

    const std::uint8_t xoff = 0x13;
    const std::uint8_t xon = 0x11;
    ASSERT_EQ(::write(m_com1.controllerFd(), &xoff, 1), 1);
    // Three seconds; on a machine too loaded to answer ten clicks and paints in that
    // time, held on (up to 30 s) until it has, and written into all the while.
    qint64 heldUntil = clock.elapsed() + 3000;
    qint64 nextSecondAt = clock.elapsed() + 400;
    while (clock.elapsed() < heldUntil) {
        if (clickLatencies.size() < 10 || paintLatencies.size() < 10) {
            heldUntil = std::max(heldUntil, std::min<qint64>(30'000, clock.elapsed() + 1000));
        }
        // The clicks come the way the operator's do, through the event queue.
        if (clickPosted < 0) {
            clickPosted = clock.elapsed();
            clickWaited = waitedForAProcessorMs();
            const QPoint centre = radio->rect().center();
            QCoreApplication::postEvent(
                radio, new QMouseEvent(QEvent::MouseButtonPress, centre, radio->mapToGlobal(centre),
                                       Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(
                radio, new QMouseEvent(QEvent::MouseButtonRelease, centre,
                                       radio->mapToGlobal(centre), Qt::LeftButton, Qt::NoButton,
                                       Qt::NoModifier));
        }
        if (paintAsked < 0) {
            paintAsked = clock.elapsed();
            paintWaited = waitedForAProcessorMs();
            dialog.update();
        }
        // A new second every 400 ms: the send thread keeps writing into the hold,
        // until well before it ends, so that no write is under way at the XON.
        if (clock.elapsed() >= nextSecondAt && clock.elapsed() < heldUntil - 600) {
            m_clock.nextSecond();
            nextSecondAt += 400;
        }
        QTest::qWait(20);
    }
    ASSERT_EQ(::write(m_com1.controllerFd(), &xon, 1), 1);
    dialog.removeEventFilter(&paintWatch);

    ASSERT_GE(clickLatencies.size(), 10u) << "too few clicks answered to judge, in 30 s";
    ASSERT_GE(paintLatencies.size(), 10u) << "too few paints done to judge, in 30 s";
    EXPECT_LT(*std::max_element(clickLatencies.begin(), clickLatencies.end()), 100);
    EXPECT_LT(*std::max_element(paintLatencies.begin(), paintLatencies.end()), 100);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return labels()[3] == "COM1: Transmission failed (output held up by flow control)";
    }));
    EXPECT_TRUE(m_com1.drain().empty()) << "nothing left while the line was held";

    nextSecond();
    const auto bytes = m_com1.read(12);
    EXPECT_EQ(ByteString(bytes.begin(), bytes.end()), buildMessage(Protocol::EseRealTimeClock, m_clock.time));
    EXPECT_EQ(labels()[3], "COM1: " + transmittedText(Protocol::EseRealTimeClock, m_clock.time));
}

// Uses up every file descriptor the process may have, so that no timer can be had.
class DescriptorsExhausted {
  public:
    DescriptorsExhausted() {
        getrlimit(RLIMIT_NOFILE, &m_saved);
        const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        rlimit tight = m_saved;
        tight.rlim_cur = static_cast<rlim_t>(probe) + 1;
        setrlimit(RLIMIT_NOFILE, &tight);
        m_fds.push_back(probe);
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
            m_fds.push_back(fd);
        }
    }
    ~DescriptorsExhausted() { release(); }
    void release() {
        for (const int fd : m_fds) {
            ::close(fd);
        }
        m_fds.clear();
        setrlimit(RLIMIT_NOFILE, &m_saved);
    }

  private:
    rlimit m_saved{};
    std::vector<int> m_fds;
};

TEST_F(ClockDialogTest, WithoutATimerTheBoxComesFirstAndTheWindowStillSelectsPorts) {
    m_dialog = std::make_unique<ClockDialog>(m_clock, m_devices);
    ClockDialog& dialog = *m_dialog;
    bool inspected = false;
    whenModalOpens<QMessageBox>([&](QMessageBox* box) {
        ASSERT_NE(box, nullptr);
        inspected = true;
        EXPECT_FALSE(dialog.isVisible()) << "the box comes before the window is shown";
        EXPECT_EQ(box->text(), "No timers available.");
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        EXPECT_EQ(box->windowTitle(),
                  QFileInfo(QCoreApplication::arguments().value(0)).completeBaseName());
        // On the screen's middle, not over the corner where the window is yet to go.
        const QRect workArea = box->screen()->availableGeometry();
        EXPECT_LE((box->frameGeometry().center() - workArea.center()).manhattanLength(), 2);
    });
    {
        DescriptorsExhausted exhausted;
        dialog.show();
        exhausted.release();
    }
    EXPECT_TRUE(inspected);
    EXPECT_TRUE(dialog.isVisible());
    // No send thread: the click is carried out at once, on this thread.
    QTest::mouseClick(child<QRadioButton>("com2Radio"), Qt::LeftButton);
    EXPECT_EQ(bottomLine(), "COM2 opened successfully.");
    const auto before = logLines();
    m_clock.nextSecond();
    QTest::qWait(300);
    EXPECT_EQ(logLines().back(), before.back()) << "no tick, so nothing is ever sent";
}

}  // namespace
}  // namespace chronvane

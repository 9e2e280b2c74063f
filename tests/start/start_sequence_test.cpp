#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "start/start_sequence.h"
#include "fake_clock.h"
#include "pty_pair.h"

namespace chronvane {
namespace {

using ::testing::InSequence;
using ::testing::Return;

class MockStartWindow : public StartWindow {
  public:
    MOCK_METHOD(void, checkPortRadio, (int number), (override));
    MOCK_METHOD(void, checkProtocolRadio, (Protocol protocol), (override));
    MOCK_METHOD(void, requestMinimize, (), (override));
    MOCK_METHOD(bool, startTimer, (int identifier, int periodMs), (override));
    MOCK_METHOD(void, showMessageBox, (const std::string& text), (override));
};

class StartSequence : public ::testing::Test {
  protected:
    StartSequence() {
        // Never the real /dev/ttyS0 behind COM1.
        DeviceMap devices;
        devices.setPath(0, "/nonexistent/chronvane-com1");
        devices.setPath(1, pty.devicePath());
        controller = std::make_unique<ClockController>(clock, clockWindow, devices);
    }

    test::PtyPair pty;
    test::FakeClock clock;
    test::FakeWindow clockWindow;
    std::unique_ptr<ClockController> controller;
    MockStartWindow window;
};

TEST_F(StartSequence, RunsInOrderAndOpensThePortBeforeTheProtocolIsChecked) {
    std::string commandLine = "-ostrel8 -com2 -min";
    {
        InSequence order;
        EXPECT_CALL(window, checkPortRadio(2));
        EXPECT_CALL(window, checkProtocolRadio(Protocol::OstrelDateTime)).WillOnce([&] {
            EXPECT_EQ(clockWindow.shown[3], "COM2 opened successfully.");
        });
        EXPECT_CALL(window, requestMinimize());
        EXPECT_CALL(window, startTimer(1, 100)).WillOnce(Return(true));
    }
    EXPECT_CALL(window, showMessageBox).Times(0);
    runStartSequence(commandLine, window, *controller);
    EXPECT_EQ(commandLine, "-OSTREL8 -COM2 -MIN");
}

TEST_F(StartSequence, NoTimerShowsTheBoxAndLeavesPortSelectionWorking) {
    std::string commandLine;
    EXPECT_CALL(window, checkPortRadio(1));
    EXPECT_CALL(window, checkProtocolRadio(Protocol::EseRealTimeClock));
    EXPECT_CALL(window, requestMinimize()).Times(0);
    EXPECT_CALL(window, startTimer(1, 100)).WillOnce(Return(false));
    EXPECT_CALL(window, showMessageBox("No timers available."));
    runStartSequence(commandLine, window, *controller);
    EXPECT_EQ(clockWindow.shown[3], "COM1 could not be opened.");
    controller->selectPort(2);
    EXPECT_EQ(controller->activePort(), 2);
}

}  // namespace
}  // namespace chronvane

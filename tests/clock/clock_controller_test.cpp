#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "clock/clock_controller.h"
#include "formats/format_registry.h"
#include "fake_clock.h"
#include "pty_pair.h"

namespace chronvane {
namespace {

using test::FakeClock;
using test::FakeWindow;
using test::PtyPair;

// A controller whose COM1 and COM2 are pseudo-terminals and whose COM3 does not
// exist; the test drives time by hand.
class ControllerTest : public ::testing::Test {
  protected:
    ControllerTest() {
        DeviceMap devices;
        devices.setPath(0, com1.devicePath());
        devices.setPath(1, com2.devicePath());
        devices.setPath(2, "/nonexistent/chronvane-test-device");
        controller = std::make_unique<ClockController>(clock, window, devices);
    }

    std::size_t bytesAtCom1() { return com1.drain().size(); }

    PtyPair com1;
    PtyPair com2;
    FakeClock clock;
    FakeWindow window;
    std::unique_ptr<ClockController> controller;
};

// Every message on the wire starts at a change of second: the first tick after
// start falls anywhere in its second, so it only notes which second that is.
TEST_F(ControllerTest, OpeningLogsSuccessAndTheFirstMessageWaitsForTheNextSecond) {
    controller->selectPort(1);
    EXPECT_EQ(controller->activePort(), 1);
    EXPECT_EQ(window.shown[3], "COM1 opened successfully.");

    clock.setSecond(8);
    controller->onTick();
    EXPECT_EQ(bytesAtCom1(), 0u);
    EXPECT_EQ(window.shown[3], "COM1 opened successfully.");
    clock.setSecond(9);
    controller->onTick();
    const auto bytes = com1.read(12);
    EXPECT_EQ(ByteString(bytes.begin(), bytes.end()), buildMessage(Protocol::EseRealTimeClock, clock.time));
    EXPECT_EQ(window.shown[3], "COM1: Transmitted ESE Clock message \"14:05:09\"");
    EXPECT_EQ(window.shown[2], "COM1 opened successfully.");
}

TEST_F(ControllerTest, TenTicksInOneSecondSendOnce) {
    controller->selectPort(1);
    controller->onTick();
    clock.setSecond(1);
    for (int i = 0; i < 10; ++i) {
        controller->onTick();
    }
    EXPECT_EQ(bytesAtCom1(), 12u);
    EXPECT_EQ(clock.readings, 11);  // one reading per tick
}

TEST_F(ControllerTest, LateTickSendsOnlyTheCurrentSecond) {
    controller->selectPort(1);
    clock.setSecond(10);
    controller->onTick();
    com1.drain();
    clock.setSecond(12);  // 2.5 s later: seconds 11 is not made up
    controller->onTick();
    const auto bytes = com1.read(100, std::chrono::milliseconds(100));
    EXPECT_EQ(ByteString(bytes.begin(), bytes.end()), buildMessage(Protocol::EseRealTimeClock, clock.time));
}

// The seconds field alone would take each of these for the second already sent.
TEST_F(ControllerTest, ATickInAnotherSecondWithTheSameSecondsFieldSends) {
    struct Case {
        const char* name;
        int minutes;  // from the tick that sent 14:05:30
        int hours;
    };
    const Case cases[] = {
        {"a minute later (the window was starved)", 1, 0},
        {"the clock set back a minute and a fraction", -1, 0},
        {"the clock set back an hour", 0, -1},
    };
    controller->selectPort(1);
    controller->onTick();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clock.time = FakeClock{}.time;
        clock.setSecond(30);
        controller->onTick();
        com1.drain();
        clock.time.minute += c.minutes;
        clock.time.hour += c.hours;
        controller->onTick();
        const auto bytes = com1.read(100, std::chrono::milliseconds(100));
        EXPECT_EQ(ByteString(bytes.begin(), bytes.end()), buildMessage(Protocol::EseRealTimeClock, clock.time));
    }
}

TEST_F(ControllerTest, LastSecondFollowsTheClockWhileNoPortIsOpen) {
    controller->selectPort(3);
    EXPECT_EQ(controller->activePort(), std::nullopt);
    EXPECT_EQ(window.shown[3], "COM3 could not be opened.");
    const int shownBefore = window.showCount;
    clock.setSecond(40);
    controller->onTick();
    EXPECT_EQ(controller->lastSecond(), FakeClock::secondOf(clock.time));
    EXPECT_EQ(window.showCount, shownBefore);  // nothing sent, nothing logged

    // Opening a port in the same second does not send at once.
    controller->selectPort(1);
    controller->onTick();
    EXPECT_EQ(bytesAtCom1(), 0u);
    clock.setSecond(41);
    controller->onTick();
    EXPECT_EQ(bytesAtCom1(), 12u);
}

TEST_F(ControllerTest, ClickingTheOpenPortAddsNothingButRetryingAFailedOneDoes) {
    controller->selectPort(1);
    const auto before = window.shown;
    const int shows = window.showCount;
    controller->selectPort(1);
    EXPECT_EQ(window.shown, before);
    EXPECT_EQ(window.showCount, shows);

    controller->selectPort(3);
    controller->selectPort(3);
    EXPECT_EQ(window.shown[2], "COM3 could not be opened.");
    EXPECT_EQ(window.shown[3], "COM3 could not be opened.");
    EXPECT_EQ(window.openResults.back().error, ENOENT);
    EXPECT_EQ(window.openResults.back().devicePath, "/nonexistent/chronvane-test-device");
}

TEST_F(ControllerTest, AFailedSelectionLeavesNoPortOpen) {
    controller->selectPort(1);
    controller->selectPort(3);
    EXPECT_FALSE(controller->port().isOpen());
    // COM1 is free again: a second user can take it.
    SerialPort other(controller->port().devices());
    EXPECT_TRUE(other.open(0, timeLine));
}

TEST_F(ControllerTest, SwitchingPortsMovesTheMessages) {
    controller->selectPort(1);
    controller->selectPort(2);
    EXPECT_EQ(window.shown[3], "COM2 opened successfully.");
    controller->onTick();
    clock.setSecond(1);
    controller->onTick();
    EXPECT_EQ(com2.read(12).size(), 12u);
    EXPECT_EQ(bytesAtCom1(), 0u);
}

TEST_F(ControllerTest, ProtocolIsReadAtEachNewSecond) {
    controller->selectPort(1);
    controller->onTick();
    com1.drain();
    window.protocol = Protocol::OstrelDateTime;  // switched within the second: no effect, nothing logged
    const int shows = window.showCount;
    controller->onTick();
    EXPECT_EQ(window.showCount, shows);
    EXPECT_EQ(bytesAtCom1(), 0u);

    clock.setSecond(1);
    controller->onTick();
    const auto bytes = com1.read(48);
    EXPECT_EQ(ByteString(bytes.begin(), bytes.end()), buildMessage(Protocol::OstrelDateTime, clock.time));
    EXPECT_EQ(window.shown[3], "COM1: Transmitted \"Monday February 22  14:05:01\"");
}

// The message is built ahead of the change of second, and the change only
// confirms it; whatever moved in between (the clock set, the protocol chosen) is
// caught there and the message built afresh.
TEST_F(ControllerTest, APreparedMessageGoesOutOnlyWhenItsSecondAndProtocolStillHold) {
    struct Case {
        const char* name;
        int secondAtTheChange;  // the prepared one is 1
        Protocol protocolAtTheChange;
        bool convertsAtTheChange;
    };
    const Case cases[] = {
        {"as prepared", 1, Protocol::EseRealTimeClock, false},
        {"clock set meanwhile", 7, Protocol::EseRealTimeClock, true},
        {"protocol chosen meanwhile", 1, Protocol::OstrelDateTime, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clock.time = FakeClock{}.time;
        window.protocol = Protocol::EseRealTimeClock;
        const DeviceMap devices = controller->port().devices();
        controller.reset();  // the port goes with it
        controller = std::make_unique<ClockController>(clock, window, devices);
        controller->selectPort(1);
        controller->onTick();
        com1.drain();
        controller->prepare(FakeClock::secondOf(clock.time) + 1);
        const int conversions = clock.conversions;
        clock.setSecond(c.secondAtTheChange);
        window.protocol = c.protocolAtTheChange;
        controller->onTick();
        EXPECT_EQ(clock.conversions != conversions, c.convertsAtTheChange);
        const auto bytes = com1.read(100, std::chrono::milliseconds(100));
        EXPECT_EQ(ByteString(bytes.begin(), bytes.end()),
                  buildMessage(c.protocolAtTheChange, clock.time));
    }
}

TEST_F(ControllerTest, LogKeepsTheFourNewestLines) {
    controller->selectPort(1);
    for (int s = 0; s < 5; ++s) {
        clock.setSecond(s);
        controller->onTick();
    }
    EXPECT_EQ(window.shown[0], "COM1: Transmitted ESE Clock message \"14:05:01\"");
    EXPECT_EQ(window.shown[3], "COM1: Transmitted ESE Clock message \"14:05:04\"");
}

TEST_F(ControllerTest, FailedWriteIsLoggedAsAFailureWithTheReason) {
    controller->selectPort(1);
    controller->onTick();
    com1.closeController();  // the line goes away
    clock.setSecond(1);
    controller->onTick();
    EXPECT_EQ(window.shown[3], "COM1: Transmission failed (Input/output error)");
    EXPECT_TRUE(controller->isRecovering());
}

// A USB adapter pulled out and plugged in again: the device path is a link that
// first leads to a dead line, then to a live one.
TEST(ControllerRecovery, ReopensTheSameDeviceOnceItIsBack) {
    namespace fs = std::filesystem;
    const fs::path link =
        fs::temp_directory_path() / ("chronvane-recovery-" + std::to_string(getpid()));
    auto first = std::make_unique<PtyPair>();
    fs::remove(link);
    fs::create_symlink(first->devicePath(), link);

    FakeClock clock;
    FakeWindow window;
    DeviceMap devices;
    devices.setPath(0, link.string());
    ClockController controller(clock, window, devices);
    controller.selectPort(1);
    controller.onTick();
    EXPECT_EQ(controller.lastSent(), std::nullopt);
    clock.setSecond(1);
    controller.onTick();
    EXPECT_EQ(first->read(12).size(), 12u);
    EXPECT_EQ(controller.portActivity(), ClockController::PortActivity::Sending);
    const TimeReading sentBeforeFailure = clock.time;
    EXPECT_EQ(controller.lastSent(), sentBeforeFailure);

    first.reset();  // pulled out: both ends of the old line are gone
    clock.setSecond(2);
    controller.onTick();
    EXPECT_EQ(window.shown[3], "COM1: Transmission failed (Input/output error)");
    EXPECT_EQ(controller.portActivity(), ClockController::PortActivity::Reopening);
    EXPECT_EQ(controller.lastSent(), sentBeforeFailure);

    // Still gone for a few seconds: one "could not be opened." line at most.
    fs::remove(link);
    for (int s = 3; s < 5; ++s) {
        clock.setSecond(s);
        controller.onTick();
    }
    EXPECT_EQ(window.shown[2], "COM1: Transmission failed (Input/output error)");
    EXPECT_EQ(window.shown[3], "COM1 could not be opened.");
    EXPECT_EQ(controller.activePort(), 1);
    EXPECT_EQ(controller.portActivity(), ClockController::PortActivity::CannotOpen);

    // Plugged in again: back at this change of second, so this second is sent. A
    // replugged line has nobody on it yet.
    PtyPair second;
    second.closeDevice();
    fs::create_symlink(second.devicePath(), link);
    clock.setSecond(5);
    controller.onTick();
    EXPECT_EQ(window.shown[2], "COM1 opened successfully.");
    EXPECT_EQ(window.shown[3], "COM1: Transmitted ESE Clock message \"14:05:05\"");
    EXPECT_FALSE(controller.isRecovering());
    EXPECT_EQ(controller.portActivity(), ClockController::PortActivity::Sending);
    EXPECT_EQ(controller.lastSent(), clock.time);
    EXPECT_EQ(second.read(12).size(), 12u);
    fs::remove(link);
}

TEST_F(ControllerTest, SelectingTheSamePortDuringRecoveryTriesAgainAtOnce) {
    controller->selectPort(1);
    controller->onTick();
    com1.closeController();
    clock.setSecond(1);
    controller->onTick();
    ASSERT_TRUE(controller->isRecovering());
    // The operator's choice is a fresh attempt even though COM1 is the name in use;
    // the line is still dead, so it fails and recovery gives way to no port at all.
    controller->selectPort(1);
    EXPECT_FALSE(controller->isRecovering());
    EXPECT_EQ(window.shown[3], "COM1 could not be opened.");
    EXPECT_EQ(controller->activePort(), std::nullopt);
}

using test::FakeClockState;
using Sync = ClockState::Sync;

// The log lines a sequence of seconds leaves, one reading of the clock's state per
// second (after the first tick, which sends nothing).
class ClockStateTest : public ::testing::Test {
  protected:
    ClockStateTest() {
        DeviceMap devices;
        devices.setPath(0, com1.devicePath());
        controller = std::make_unique<ClockController>(clock, window, devices);
        controller->setClockStateReader(&reader);
        controller->selectPort(1);
    }

    // Lines logged at this second's tick that are not transmissions.
    std::vector<std::string> tickAndCollectNotes(int second) {
        const std::size_t before = window.logged.size();
        clock.setSecond(second);
        controller->onTick();
        std::vector<std::string> notes;
        for (std::size_t i = before; i < window.logged.size(); ++i) {
            if (window.logged[i].kind != LogKind::Transmitted) {
                notes.push_back(window.logged[i].text);
            }
        }
        return notes;
    }

    PtyPair com1;
    FakeClock clock;
    FakeWindow window;
    FakeClockState reader;
    std::unique_ptr<ClockController> controller;
};

TEST_F(ClockStateTest, OneLineAtStartAndOnePerChangeNeverOnePerSecond) {
    struct Second {
        Sync sync;
        std::int64_t maxErrorMicros;
        std::vector<std::string> notes;
    };
    const std::vector<Second> seconds{
        {Sync::Synchronised, 12'000,
         {"Clock synchronised (estimated error 0.4 ms, at most 12 ms)."}},
        {Sync::Synchronised, 12'500, {}},  // the bound grows every second: no line
        {Sync::NotSynchronised, 16'000'000,
         {"Clock not synchronised: the time sent may be wrong."}},
        {Sync::NotSynchronised, 16'000'000, {}},
        {Sync::Synchronised, 3'000, {"Clock synchronised (estimated error 0.4 ms, at most 3.0 ms)."}},
        {Sync::Unknown, 0, {"Clock state unknown."}},
    };
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        reader.set(seconds[i].sync, seconds[i].maxErrorMicros);
        EXPECT_EQ(tickAndCollectNotes(static_cast<int>(i)), seconds[i].notes) << "second " << i;
        EXPECT_EQ(controller->clockState()->maxErrorMicros, seconds[i].maxErrorMicros);
    }
    EXPECT_EQ(reader.readings, static_cast<int>(seconds.size()));
}

TEST_F(ClockStateTest, AnnouncedLeapSecondIsLoggedOnce) {
    reader.set(Sync::Synchronised);
    tickAndCollectNotes(0);
    reader.state.leap = ClockState::Leap::Insert;
    EXPECT_EQ(tickAndCollectNotes(1),
              std::vector<std::string>{"Leap second announced for the end of today (UTC)."});
    EXPECT_TRUE(tickAndCollectNotes(2).empty());
}

// A message goes with the state read after the one before it; a clock that has
// lost its daemon is in holdover only if some reading in this run was synchronised.
TEST_F(ClockStateTest, HoldoverIsToldFromNeverSynchronised) {
    struct Second {
        Sync read;
        TimeReading::Trust sentTrust;
        bool sentWasSynchronised;
    };
    using Trust = TimeReading::Trust;
    const Second seconds[] = {{Sync::NotSynchronised, Trust::NotSynchronised, false},
                              {Sync::Synchronised, Trust::NotSynchronised, false},
                              {Sync::NotSynchronised, Trust::Synchronised, true},
                              {Sync::Unknown, Trust::NotSynchronised, true},
                              {Sync::Unknown, Trust::Unknown, true}};
    reader.set(Sync::NotSynchronised, 16'000'000);
    tickAndCollectNotes(0);
    for (std::size_t i = 0; i < std::size(seconds); ++i) {
        reader.set(seconds[i].read, 16'000'000);
        tickAndCollectNotes(static_cast<int>(i) + 1);
        ASSERT_TRUE(controller->lastSent().has_value());
        EXPECT_EQ(controller->lastSent()->trust, seconds[i].sentTrust) << "second " << i;
        EXPECT_EQ(controller->lastSent()->wasSynchronised, seconds[i].sentWasSynchronised)
            << "second " << i;
    }
}

// The reading is a system call (on Windows a call to a service): it must never
// stand between the change of second and the message.
TEST_F(ClockStateTest, StateIsReadAfterTheMessageHasLeft) {
    reader.set(Sync::Synchronised);
    controller->onTick();
    std::size_t bytesWhenRead = 0;
    reader.onRead = [&] { bytesWhenRead = com1.drain().size(); };
    clock.setSecond(1);
    controller->onTick();
    EXPECT_EQ(bytesWhenRead, 12u);
}

TEST_F(ClockStateTest, WaitForSyncSendsNothingUntilSynchronisedThenFromThatSecond) {
    controller->setWaitForSync(true);
    reader.set(Sync::NotSynchronised, 16'000'000);
    EXPECT_EQ(tickAndCollectNotes(0),
              (std::vector<std::string>{"Clock not synchronised: the time sent may be wrong.",
                                        "Nothing is sent until the clock is synchronised."}));
    EXPECT_TRUE(tickAndCollectNotes(1).empty());
    EXPECT_TRUE(com1.drain().empty());

    reader.set(Sync::Synchronised);
    EXPECT_EQ(tickAndCollectNotes(2),
              (std::vector<std::string>{"Clock synchronised (estimated error 0.4 ms, at most 12 ms).",
                                        "Clock synchronised: sending starts."}));
    clock.setSecond(2);
    const auto bytes = com1.read(12);
    EXPECT_EQ(ByteString(bytes.begin(), bytes.end()), buildMessage(Protocol::EseRealTimeClock, clock.time));

    // Held over once started: a lost synchronisation is told, the messages go on.
    reader.set(Sync::NotSynchronised, 16'000'000);
    tickAndCollectNotes(3);
    EXPECT_EQ(com1.read(12).size(), 12u);
}

// Whoever files the lines (the Event Log, a journal) goes by the kind and the port,
// never the words.
TEST_F(ClockStateTest, EachLineCarriesWhatHappenedAndWhere) {
    controller->setWaitForSync(true);
    clock.wallOffset = 0;
    reader.set(Sync::NotSynchronised, 16'000'000);
    tickAndCollectNotes(0);
    reader.set(Sync::Synchronised);
    reader.state.leap = ClockState::Leap::Insert;
    tickAndCollectNotes(1);
    clock.wallOffset = 2'000'000;
    tickAndCollectNotes(3);
    com1.closeController();
    reader.set(Sync::Unknown);
    tickAndCollectNotes(4);
    tickAndCollectNotes(5);
    using K = LogKind;
    const std::vector<std::pair<LogKind, std::string>> expected{
        {K::Opened, "COM1"},        {K::ClockNotSynchronised, ""},
        {K::WaitingForSync, ""},    {K::ClockSynchronised, ""},
        {K::LeapSecond, ""},        {K::SyncWaitOver, ""},
        {K::Transmitted, "COM1"},   {K::Transmitted, "COM1"},
        {K::ClockSet, ""},          {K::TransmissionFailed, "COM1"},
        {K::ClockStateUnknown, ""}, {K::OpenFailed, "COM1"},
    };
    std::vector<std::pair<LogKind, std::string>> logged;
    for (const LogEntry& entry : window.logged) {
        logged.emplace_back(entry.kind, entry.port);
    }
    EXPECT_EQ(logged, expected);
}

// Where the system will not be asked (under Wine, behind a filter) the wait could
// never end: it is given up at the first such reading, once, and said.
TEST_F(ClockStateTest, WaitForSyncSendsWhenTheClocksStateCannotBeRead) {
    controller->setWaitForSync(true);
    reader.state.unknownReason = "adjtimex: Operation not permitted";
    EXPECT_EQ(tickAndCollectNotes(0),
              (std::vector<std::string>{
                  "Clock state unknown (adjtimex: Operation not permitted).",
                  "Clock state unknown: sending starts without waiting for synchronisation."}));
    EXPECT_EQ(window.logged.back().kind, LogKind::SyncWaitGivenUp);
    EXPECT_FALSE(controller->isWaitingForSync());
    EXPECT_TRUE(tickAndCollectNotes(1).empty());
    const auto bytes = com1.read(12);
    EXPECT_EQ(ByteString(bytes.begin(), bytes.end()), buildMessage(Protocol::EseRealTimeClock, clock.time));
}

TEST_F(ClockStateTest, ASetClockIsLoggedOnceWithItsSize) {
    clock.wallOffset = 0;
    tickAndCollectNotes(9);
    clock.wallOffset = 2'000'000;  // set forward 2 s, and nothing said so before the tick
    EXPECT_EQ(tickAndCollectNotes(11),
              std::vector<std::string>{"Clock set: 14:05:09 -> 14:05:11 (+2.0 s)"});
    EXPECT_TRUE(tickAndCollectNotes(12).empty());
    clock.wallOffset = 2'000'000 - 500;  // slewing moves it little: no step
    EXPECT_TRUE(tickAndCollectNotes(13).empty());
}

// Reported as it happens, a step is logged from the time shown right before it,
// not from the next tick's second, which comes up to a second later; and one that
// moves the clock into another second is logged however small. A second not yet
// sent that began less than the write budget ago is ticked at once (sent about as
// late as a held-up line would send it); one that began longer ago is lost, as a
// late tick loses it.
TEST_F(ClockStateTest, ASetClockReportedAtOnceShowsTheTimesAroundTheStep) {
    struct Case {
        std::int64_t microsIntoSecond9;
        std::int64_t step;
        int nextTick;
        const char* line;  // none: the step is not logged
        bool ticksAtOnce;
    };
    const Case cases[] = {
        {200'000, 1'500'000, 11, "Clock set: 14:05:09 -> 14:05:10 (+1.5 s)", false},
        {800'000, 1'500'000, 12, "Clock set: 14:05:09 -> 14:05:11 (+1.5 s)", false},
        {300'000, -3'000'000, 7, "Clock set: 14:05:09 -> 14:05:06 (-3.0 s)", false},
        {100'000, -200'000, 9, "Clock set: 14:05:09 -> 14:05:08 (-200 ms)", false},
        // Forward across the change of second, to just after it.
        {970'000, 50'000, 11, "Clock set: 14:05:09 -> 14:05:10 (+50 ms)", true},
        {850'000, 200'000, 11, "Clock set: 14:05:09 -> 14:05:10 (+200 ms)", true},
        {700'000, 370'000, 11, "Clock set: 14:05:09 -> 14:05:10 (+370 ms)", true},
        // A deleted leap second: 23:59:59 never begins, the next second does at once.
        {0, 1'000'000, 11, "Clock set: 14:05:09 -> 14:05:10 (+1.0 s)", true},
        // Too long ago to be sent now.
        {900'000, 300'000, 11, "Clock set: 14:05:09 -> 14:05:10 (+300 ms)", false},
        // Back into the second before, just after it began: it is another second
        // than the one last sent.
        {500'000, -1'460'000, 9, "Clock set: 14:05:09 -> 14:05:08 (-1.5 s)", true},
        // Back across the change of second: the second repeats, the log says why.
        {20'000, -50'000, 9, "Clock set: 14:05:09 -> 14:05:08 (-50 ms)", false},
        // Within the second, and small: nothing on the wire shows it.
        {300'000, 50'000, 10, nullptr, false},
        {30'000, -20'000, 10, nullptr, false},
    };
    std::int64_t offset = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line ? c.line : std::to_string(c.step) + " us within the second");
        clock.wallOffset = offset;
        clock.wallMicrosIntoSecond = 0;
        tickAndCollectNotes(9);
        const std::int64_t after = 9'000'000 + c.microsIntoSecond9 + c.step;
        clock.setSecond(static_cast<int>(after / 1'000'000));
        clock.wallMicrosIntoSecond = after % 1'000'000;
        offset += c.step;
        clock.wallOffset = offset;
        const int shows = window.showCount;
        EXPECT_EQ(controller->onClockSet(), c.ticksAtOnce);
        if (c.line) {
            ASSERT_EQ(window.showCount, shows + 1);
            EXPECT_EQ(window.shown.back(), c.line);
        } else {
            EXPECT_EQ(window.showCount, shows);
        }
        if (c.ticksAtOnce) {
            controller->onTick();
            ASSERT_TRUE(controller->lastSent());
            EXPECT_EQ(controller->lastSent()->second, after / 1'000'000);
        }
        // The tick after it has nothing more to say about the step.
        clock.wallMicrosIntoSecond = 0;
        EXPECT_TRUE(tickAndCollectNotes(c.nextTick).empty());
        tickAndCollectNotes(c.nextTick + 30);  // a second other than 9 before the next case
    }
}

// The system's own step for an announced leap second: an inserted one repeats the
// day's last second on the clock's count, so only the step tells the controller it
// has begun; a deleted one leaves that second out. Either way the step is the leap
// second's, logged as such once and never as a clock set; reported as it happens
// or found by the next tick alike.
TEST_F(ClockStateTest, AnnouncedLeapSecondIsSentOrSkippedAndLoggedOnce) {
    struct Case {
        const char* name;
        ClockState::Leap leap;
        bool reported;
        const char* wire;
        const char* note;
    };
    const char* const inserted = "Leap second: 23:59:59 sent again for 23:59:60.";
    const char* const deleted = "Leap second: 23:59:59 skipped, the day ends a second early.";
    const Case cases[] = {
        {"inserted, found by the tick", ClockState::Leap::Insert, false,
         "23:59:58   \r23:59:59   \r23:59:59   \r00:00:00   \r", inserted},
        {"inserted, reported", ClockState::Leap::Insert, true,
         "23:59:58   \r23:59:59   \r23:59:59   \r00:00:00   \r", inserted},
        {"deleted, found by the tick", ClockState::Leap::Delete, false,
         "23:59:58   \r00:00:00   \r00:00:01   \r", deleted},
        {"deleted, reported", ClockState::Leap::Delete, true,
         "23:59:58   \r00:00:00   \r00:00:01   \r", deleted},
    };
    std::int64_t offset = 0;
    int day = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto at = [&](int dayOfMonth, int hour, int minute, int second) {
            clock.time.day = dayOfMonth;
            clock.time.hour = hour;
            clock.time.minute = minute;
            clock.time.second = second;
        };
        const auto step = [&](std::int64_t micros) {
            offset += micros;
            clock.wallOffset = offset;
            if (c.reported) {
                EXPECT_TRUE(controller->onClockSet());
            }
            controller->onTick();
        };
        reader.set(Sync::Synchronised);
        reader.state.leap = c.leap;
        clock.wallOffset = offset;
        at(day, 23, 59, 57);
        controller->onTick();
        com1.drain();
        const std::size_t before = window.logged.size();
        at(day, 23, 59, 58);
        controller->onTick();
        if (c.leap == ClockState::Leap::Insert) {
            at(day, 23, 59, 59);
            controller->onTick();
            step(-1'000'000);
            controller->onTick();  // still in the leap second: nothing more
        } else {
            at(day + 1, 0, 0, 0);
            step(1'000'000);
        }
        reader.state.leap = ClockState::Leap::None;
        at(day + 1, 0, 0, c.leap == ClockState::Leap::Insert ? 0 : 1);
        controller->onTick();
        const auto bytes = com1.read(100, std::chrono::milliseconds(100));
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.wire);
        std::vector<std::string> notes;
        for (std::size_t i = before; i < window.logged.size(); ++i) {
            if (window.logged[i].kind != LogKind::Transmitted) {
                notes.push_back(window.logged[i].text);
            }
        }
        EXPECT_EQ(notes, std::vector<std::string>{c.note});
        day += 2;
    }
    // A format that can say second 60 is given it, in its zone's time.
    TimeFormat sixty = formatOf(Protocol::EseRealTimeClock);
    sixty.carriesLeapSecond = true;
    TimeReading lastOfDay(59, 59, 0, 1, 0, 4, 2017);  // 23:59:59 UTC at UTC+1
    lastOfDay.utc = {59, 59, 23, 31, 11, 0, 2016};
    const TimeReading leapSecond = insertedSecondFor(sixty, lastOfDay);
    EXPECT_TRUE(leapSecond.inLeapSecond);
    EXPECT_EQ(leapSecond.local(), (CalendarTime{60, 59, 0, 1, 0, 4, 2017}));
    EXPECT_EQ(leapSecond.utc, (CalendarTime{60, 59, 23, 31, 11, 0, 2016}));
    EXPECT_EQ(insertedSecondFor(formatOf(Protocol::EseRealTimeClock), lastOfDay).second, 59);
}

}  // namespace
}  // namespace chronvane

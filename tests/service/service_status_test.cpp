#include <string>

#include <gtest/gtest.h>

#include "service/service_status.h"
#include "fake_clock.h"
#include "pty_pair.h"

namespace chronvane {
namespace {

using Sync = ClockState::Sync;

// An open port is no sign that anything goes out: while --wait-for-sync holds the
// messages back, the status says what it waits for.
TEST(ServiceStatus, SaysWhetherItSendsOrWaitsForTheClock) {
    struct Case {
        Sync sync;
        const char* afterPath;
    };
    const Case cases[] = {
        {Sync::NotSynchronised,
         ": waiting for the clock; ESE; nothing sent yet; clock not synchronised"},
        {Sync::Synchronised, ": sending; ESE; last sent 14:05:01; clock synchronised"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.afterPath);
        test::PtyPair com1;
        DeviceMap devices;
        devices.setPath(0, com1.devicePath());
        test::FakeClock clock;
        test::FakeWindow window;
        test::FakeClockState reader;
        reader.set(c.sync);
        ClockController controller(clock, window, devices);
        controller.setClockStateReader(&reader);
        controller.setWaitForSync(true);
        controller.selectPort(1);
        controller.onTick();
        clock.setSecond(1);
        controller.onTick();
        EXPECT_EQ(serviceStatusLine(controller), com1.devicePath() + c.afterPath);
    }
}

}  // namespace
}  // namespace chronvane

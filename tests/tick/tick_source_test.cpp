#include <fcntl.h>
#include <poll.h>
#include <sys/timerfd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

#include <gtest/gtest.h>

#include "tick/tick_source.h"

namespace chronvane {
namespace {

constexpr std::int64_t nanosPerMilli = 1'000'000;

std::int64_t wallNanos() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// The tick's handle is a descriptor on POSIX.
int fdOf(const TickSource& tick) {
    return static_cast<int>(tick.nativeHandle());
}

// The poll's bound is never what decides: an expiry is at most one period away, and
// the kernel's timer fires on time however loaded the machine is; only the test's
// wake is late, and poll then finds the descriptor readable.
bool readable(int fd, int timeoutMs) {
    pollfd watch{fd, POLLIN, 0};
    return poll(&watch, 1, timeoutMs) == 1 && (watch.revents & POLLIN) != 0;
}

// The timer's next expiry on the wall clock, somewhere in [earliest, latest], and its
// period: what the code under test armed, read from the timer itself. A loaded
// machine delays the test's wake by any amount but cannot move these. The time left
// is read between two readings of the wall clock; a reading the scheduler broke into
// is taken again, and the tightest of a hundred is kept.
struct Armed {
    std::int64_t earliest = 0;
    std::int64_t latest = 0;
    std::int64_t period = 0;
};

Armed armedExpiry(const TickSource& tick) {
    const auto nanos = [](const timespec& ts) {
        return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
    };
    Armed best;
    best.latest = INT64_MAX;
    for (int i = 0; i < 100 && best.latest - best.earliest > 50'000; ++i) {
        const std::int64_t before = wallNanos();
        itimerspec left{};
        if (timerfd_gettime(fdOf(tick), &left) != 0) {
            ADD_FAILURE() << "timerfd_gettime: " << std::strerror(errno);
            return best;
        }
        const std::int64_t after = wallNanos();
        if (after - before < best.latest - best.earliest) {
            best = {before + nanos(left.it_value), after + nanos(left.it_value),
                    nanos(left.it_interval)};
        }
    }
    return best;
}

// Whether the armed expiry is a slot of the wall clock's period grid (nanoseconds),
// or lead before one.
bool onSlot(const Armed& armed, std::int64_t period, std::int64_t lead = 0) {
    const std::int64_t slot = (armed.earliest + lead + period - 1) / period * period;
    return slot - lead <= armed.latest;
}

TEST(TickSource, ExpiresJustAfterTheWallClocksPeriodSlots) {
    constexpr std::int64_t period = 100 * nanosPerMilli;
    TickSource tick;
    ASSERT_TRUE(tick.start(100)) << std::strerror(tick.lastError().code);
    ASSERT_TRUE(tick.isRunning());
    for (int i = 0; i < 5; ++i) {
        // Where the expiries are placed, not how soon the process wakes for them (the
        // timing benchmark measures that): read from the timer.
        const Armed armed = armedExpiry(tick);
        EXPECT_EQ(armed.period, period) << "expiry " << i;
        EXPECT_TRUE(onSlot(armed, period))
            << "expiry " << i << " armed " << armed.earliest % period << " ns into its slot";
        ASSERT_TRUE(readable(fdOf(tick), 300)) << "expiry " << i;
        EXPECT_TRUE(tick.acknowledge());
    }
}

// The controller reads the second from the same wall clock: a tick that came while
// it still showed the old second would skip that second's message until the next
// slot. An expiry taken within the lead before a change of second is waited out; one
// a loaded machine woke later is past the change already and ticks at once, so the
// expiries run on until a change was announced (the longest lead, for the widest
// window to be woken in).
TEST(TickSource, WithAWakeLeadTheTickForANewSecondNeverComesBeforeIt) {
    constexpr std::int64_t leadNanos = TickSource::maxWakeLeadMicros * std::int64_t{1000};
    constexpr std::int64_t second = 1000 * nanosPerMilli;
    TickSource tick;
    tick.setWakeLead(static_cast<int>(leadNanos / 1000));
    // The lead action is told the second about to begin, before it begins.
    std::int64_t announced = 0;
    std::int64_t announcedAt = 0;
    tick.setLeadAction([&](std::int64_t next) {
        announced = next;
        announcedAt = wallNanos();
    });
    ASSERT_TRUE(tick.start(100));
    // Every expiry is the lead before a slot of the wall clock.
    const Armed armed = armedExpiry(tick);
    EXPECT_TRUE(onSlot(armed, 100 * nanosPerMilli, leadNanos))
        << "armed " << armed.earliest % (100 * nanosPerMilli) << " ns into its slot";
    int announcements = 0;
    for (int i = 0; i < 300 && announcements < 2; ++i) {
        ASSERT_TRUE(readable(fdOf(tick), 300)) << "expiry " << i;
        announced = 0;
        const std::int64_t entered = wallNanos();
        ASSERT_TRUE(tick.acknowledge()) << "expiry " << i;
        const std::int64_t ticked = wallNanos();
        const std::int64_t change = (entered / second + 1) * second;
        if (announced != 0) {
            ++announcements;
            EXPECT_EQ(announcedAt / second + 1, announced) << "expiry " << i;
            EXPECT_GE(ticked, announced * second) << "expiry " << i;
        } else if (change - entered < leadNanos && ticked < change) {
            ADD_FAILURE() << "expiry " << i << " came " << change - entered
                          << " ns before a change of second and ticked before it";
        }
    }
    EXPECT_GE(announcements, 1) << "in 300 expiries none was taken within the lead before a "
                                   "change of second, where it would be waited out and announced";
}

// After the wall clock is set, the new time must not go out part-way through a
// second at the next 100 ms slot: the tick waits for the change of second, the
// advanced one when messages start ahead of their second. Where the timer is armed
// is read from it, not from when the test wakes.
TEST(TickSource, AfterAClockStepTheNextTickComesAtTheChangeOfSecond) {
    for (const int advanceMs : {0, 250}) {
        SCOPED_TRACE(advanceMs);
        const std::int64_t advance = advanceMs * nanosPerMilli;
        const auto phase = [&](std::int64_t period) {
            return (wallNanos() + advance) % (period * nanosPerMilli);
        };
        TickSource tick;
        tick.setAdvance(Advance(advanceMs));
        ASSERT_TRUE(tick.start(100));
        // From a slot that is not the last of its second, where the next slot and
        // the next change of second are the same.
        do {
            ASSERT_TRUE(readable(fdOf(tick), 300));
            ASSERT_TRUE(tick.acknowledge());
        } while (phase(1000) >= 850 * nanosPerMilli);
        ASSERT_TRUE(tick.followClockStep()) << std::strerror(tick.lastError().code);
        const std::int64_t stepped = wallNanos();
        // The next change of the advanced second, not a later one.
        const Armed step = armedExpiry(tick);
        EXPECT_TRUE(onSlot(step, 1000 * nanosPerMilli, advance))
            << "armed " << (step.earliest + advance) % (1000 * nanosPerMilli)
            << " ns into its second";
        EXPECT_LT(step.earliest, stepped + 1000 * nanosPerMilli);
        ASSERT_TRUE(readable(fdOf(tick), 1300));
        EXPECT_TRUE(tick.acknowledge());
        // And the 100 ms slots go on from there.
        const Armed next = armedExpiry(tick);
        EXPECT_EQ(next.period, 100 * nanosPerMilli);
        EXPECT_TRUE(onSlot(next, 100 * nanosPerMilli, advance));
        ASSERT_TRUE(readable(fdOf(tick), 300));
    }
}

// Expiries that piled up are one tick, not a burst. What follows the tick is decided
// only when it is looked at before the next expiry is due; a run that a loaded
// machine delayed past it is made again.
TEST(TickSource, AcknowledgeConsumesEverythingPendingAndTicksOnce) {
    TickSource tick;
    ASSERT_TRUE(tick.start(200));
    bool decided = false;
    for (int run = 0; run < 10 && !decided; ++run) {
        ASSERT_TRUE(readable(fdOf(tick), 400));
        // Let a second expiry pile up behind the first.
        poll(nullptr, 0, 250);
        const Armed next = armedExpiry(tick);
        EXPECT_TRUE(tick.acknowledge());
        const bool stillReadable = readable(fdOf(tick), 0);
        const bool ticksAgain = tick.acknowledge();
        if (wallNanos() < next.earliest) {
            decided = true;
            EXPECT_FALSE(stillReadable);
            EXPECT_FALSE(ticksAgain);
        }
    }
    EXPECT_TRUE(decided) << "ten runs were each overtaken by the next expiry";
}

TEST(TickSource, RefusesPeriodsOutsideOneToAThousandMilliseconds) {
    for (const int period : {0, -100, 1001}) {
        TickSource tick;
        EXPECT_FALSE(tick.start(period)) << period;
        EXPECT_EQ(tick.lastError().code, EINVAL) << period;
        EXPECT_FALSE(tick.isRunning()) << period;
        EXPECT_EQ(fdOf(tick), -1) << period;
    }
}

TEST(TickSource, StopReleasesTheTimerAndCanBeRepeated) {
    TickSource tick;
    ASSERT_TRUE(tick.start(100));
    const int fd = fdOf(tick);
    tick.stop();
    EXPECT_FALSE(tick.isRunning());
    EXPECT_EQ(fdOf(tick), -1);
    EXPECT_FALSE(tick.acknowledge());
    EXPECT_EQ(fcntl(fd, F_GETFD), -1) << "the descriptor was not closed";
    tick.stop();
    EXPECT_FALSE(tick.isRunning());
}

TEST(TickSource, StartingAgainReplacesTheRunningTimer) {
    TickSource tick;
    ASSERT_TRUE(tick.start(100));
    const int first = fdOf(tick);
    ASSERT_TRUE(tick.start(50));
    // The old descriptor was released, so the new one reuses its number.
    EXPECT_EQ(fdOf(tick), first);
    // And what runs there is the new period on its own slots.
    const Armed armed = armedExpiry(tick);
    EXPECT_EQ(armed.period, 50 * nanosPerMilli);
    EXPECT_TRUE(onSlot(armed, 50 * nanosPerMilli));
    ASSERT_TRUE(readable(fdOf(tick), 200));
}

}  // namespace
}  // namespace chronvane

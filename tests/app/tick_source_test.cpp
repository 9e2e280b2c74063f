#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

#include <gtest/gtest.h>

#include "app/tick_source.h"

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

bool readable(int fd, int timeoutMs) {
    pollfd watch{fd, POLLIN, 0};
    return poll(&watch, 1, timeoutMs) == 1 && (watch.revents & POLLIN) != 0;
}

TEST(TickSource, ExpiresJustAfterTheWallClocksPeriodSlots) {
    TickSource tick;
    ASSERT_TRUE(tick.start(100)) << std::strerror(tick.lastError().code);
    ASSERT_TRUE(tick.isRunning());
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(readable(fdOf(tick), 300)) << "expiry " << i;
        const std::int64_t late = wallNanos() % (100 * nanosPerMilli);
        // A loose bound: this checks where the expiries are placed, not how
        // precisely (the timing benchmark measures that).
        EXPECT_LT(late, 20 * nanosPerMilli) << "expiry " << i;
        EXPECT_TRUE(tick.acknowledge());
    }
}

// The controller reads the second from the same wall clock: a tick that came while
// it still showed the old second would skip that second's message until the next
// slot. Twelve 100 ms expiries cross at least one change of second.
TEST(TickSource, WithAWakeLeadTheTickForANewSecondNeverComesBeforeIt) {
    constexpr std::int64_t leadNanos = 5 * nanosPerMilli;
    TickSource tick;
    tick.setWakeLead(static_cast<int>(leadNanos / 1000));
    // The lead action is told the second about to begin, before it begins.
    std::int64_t announced = 0;
    std::int64_t announcedAt = 0;
    tick.setLeadAction([&](std::int64_t second) {
        announced = second;
        announcedAt = wallNanos();
    });
    ASSERT_TRUE(tick.start(100));
    int afterChange = 0;
    int announcements = 0;
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(readable(fdOf(tick), 300)) << "expiry " << i;
        announced = 0;
        ASSERT_TRUE(tick.acknowledge()) << "expiry " << i;
        const std::int64_t ticked = wallNanos();
        if (announced != 0) {
            ++announcements;
            EXPECT_EQ(announcedAt / 1'000'000'000 + 1, announced) << "expiry " << i;
            EXPECT_EQ(ticked / 1'000'000'000, announced) << "expiry " << i;
        }
        const std::int64_t intoSecond = ticked % (1000 * nanosPerMilli);
        // Twice the lead: the margin for an early timer lies well inside it.
        EXPECT_LT(intoSecond, 1000 * nanosPerMilli - 2 * leadNanos) << "expiry " << i;
        // As loose as the slot test above: where, not how precisely.
        if (intoSecond < 20 * nanosPerMilli) {
            ++afterChange;
        }
    }
    EXPECT_GE(afterChange, 1) << "no tick came right after a change of second";
    EXPECT_GE(announcements, 1) << "no change of second was announced";
}

// After the wall clock is set, the new time must not go out part-way through a
// second at the next 100 ms slot: the tick waits for the change of second, the
// advanced one when messages start ahead of their second.
TEST(TickSource, AfterAClockStepTheNextTickComesAtTheChangeOfSecond) {
    for (const int advanceMs : {0, 250}) {
        SCOPED_TRACE(advanceMs);
        const std::int64_t advance = advanceMs * nanosPerMilli;
        const auto phase = [&](std::int64_t period) {
            return (wallNanos() + advance) % (period * nanosPerMilli);
        };
        TickSource tick;
        tick.setAdvance(advanceMs);
        ASSERT_TRUE(tick.start(100));
        // From a slot that is not the last of its second, where the next slot and
        // the next change of second are the same.
        do {
            ASSERT_TRUE(readable(fdOf(tick), 300));
            ASSERT_TRUE(tick.acknowledge());
        } while (phase(1000) >= 850 * nanosPerMilli);
        ASSERT_TRUE(tick.followClockStep()) << std::strerror(tick.lastError().code);
        ASSERT_TRUE(readable(fdOf(tick), 1300));
        EXPECT_LT(phase(1000), 20 * nanosPerMilli);
        EXPECT_TRUE(tick.acknowledge());
        // And the 100 ms slots go on from there.
        ASSERT_TRUE(readable(fdOf(tick), 300));
        EXPECT_LT(phase(100), 20 * nanosPerMilli);
    }
}

TEST(TickSource, AcknowledgeConsumesEverythingPendingAndTicksOnce) {
    TickSource tick;
    ASSERT_TRUE(tick.start(200));
    ASSERT_TRUE(readable(fdOf(tick), 400));
    // Let a second expiry pile up behind the first: together they are one tick, not
    // a burst. The next one is still some 150 ms away when this checks.
    poll(nullptr, 0, 250);
    EXPECT_TRUE(tick.acknowledge());
    EXPECT_FALSE(readable(fdOf(tick), 0));
    EXPECT_FALSE(tick.acknowledge());
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
    ASSERT_TRUE(readable(fdOf(tick), 200));
    EXPECT_LT(wallNanos() % (50 * nanosPerMilli), 20 * nanosPerMilli);
}

}  // namespace
}  // namespace chronvane

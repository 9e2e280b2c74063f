#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "clock/clock.h"
#include "clock/clock_state.h"
#include "clock/clock_window.h"

namespace chronvane::test {

// A clock the test moves by hand: time is what it shows now. Its seconds count
// from the start of time's month, so that a second prepared ahead of time maps to
// the local time one second on. Safe to move from one thread while another reads.
class FakeClock : public Clock {
  public:
    std::int64_t currentSecond() override {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++readings;
        return secondOf(time);
    }
    TimeReading reading(std::int64_t second) override {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++conversions;
        TimeReading shown = time;
        shown.second = static_cast<int>(second % 60);
        shown.minute = static_cast<int>(second / 60 % 60);
        shown.hour = static_cast<int>(second / 3600 % 24);
        shown.day = static_cast<int>(second / 86400);
        return shown;
    }
    void setSecond(int second) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        time.second = second;
    }
    // One second on (within the minute), as one change a reader on another thread
    // sees whole.
    void nextSecond() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        time.second = (time.second + 1) % 60;
    }
    int second() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return time.second;
    }
    // readings, for a test whose controller reads on another thread.
    int readingCount() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return readings;
    }
    static std::int64_t secondOf(const TimeReading& t) {
        return ((std::int64_t{t.day} * 24 + t.hour) * 60 + t.minute) * 60 + t.second;
    }

    std::optional<WallReading> readWall() override {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!wallOffset) {
            return std::nullopt;
        }
        return WallReading{secondOf(time) * 1'000'000 + wallMicrosIntoSecond, *wallOffset};
    }

    TimeReading time{0, 5, 14, 22, 1, 1};
    int readings = 0;
    int conversions = 0;
    // Empty: the clock cannot tell when it is set.
    std::optional<std::int64_t> wallOffset;
    // How far into time's second the wall clock stands.
    std::int64_t wallMicrosIntoSecond = 0;

  private:
    std::mutex m_mutex;
};

// The clock's state as the test sets it; onRead runs at each reading, to see what
// had happened by then.
class FakeClockState : public ClockStateReader {
  public:
    ClockState read() override {
        ++readings;
        if (onRead) {
            onRead();
        }
        return state;
    }
    void set(ClockState::Sync sync, std::int64_t maxErrorMicros = 12'000) {
        state.sync = sync;
        state.estimatedErrorMicros = 400;
        state.maxErrorMicros = maxErrorMicros;
    }

    ClockState state;
    int readings = 0;
    std::function<void()> onRead;
};

// The window's side of the controller: a protocol choice and the lines shown.
class FakeWindow : public ClockWindow {
  public:
    Protocol selectedProtocol() const override { return protocol; }
    void showLog(const MessageLog& log) override {
        shown = log.lines();
        ++showCount;
        if (log.newest()) {
            logged.push_back(*log.newest());
        }
    }
    void portOpenResult(int portNumber, const std::string& devicePath,
                        PortFailure failure) override {
        openResults.push_back({portNumber, devicePath, failure.error.code});
    }

    struct OpenResult {
        int portNumber;
        std::string devicePath;
        int error;
    };
    Protocol protocol = Protocol::EseRealTimeClock;
    MessageLog::Lines shown{};
    int showCount = 0;
    // Every entry shown, in order, with its kind.
    std::vector<LogEntry> logged;
    std::vector<OpenResult> openResults;
};

}  // namespace chronvane::test

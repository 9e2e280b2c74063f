#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "clock/clock.h"
#include "clock/clock_state.h"
#include "clock/clock_window.h"

namespace chronvane::test {

// A clock the test moves by hand.
class FakeClock : public Clock {
  public:
    LocalTime now() override {
        ++readings;
        return time;
    }
    std::optional<std::int64_t> wallOffsetMicros() override { return wallOffset; }
    void setSecond(int second) { time.second = second; }

    LocalTime time{0, 5, 14, 22, 1, 1};
    int readings = 0;
    // Empty: the clock cannot tell when it is set.
    std::optional<std::int64_t> wallOffset;
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
    bool isEseSelected() const override { return ese; }
    void showLog(const MessageLog& log) override {
        shown = log.lines();
        ++showCount;
    }
    void portOpenResult(int portNumber, const std::string& devicePath, SystemError error) override {
        openResults.push_back({portNumber, devicePath, error.code});
    }

    struct OpenResult {
        int portNumber;
        std::string devicePath;
        int error;
    };
    bool ese = true;
    MessageLog::Lines shown{};
    int showCount = 0;
    std::vector<OpenResult> openResults;
};

}  // namespace chronvane::test

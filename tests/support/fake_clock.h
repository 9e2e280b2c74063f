#pragma once

#include <vector>

#include "clock/clock.h"
#include "clock/clock_window.h"

namespace chronvane::test {

// A clock the test moves by hand.
class FakeClock : public Clock {
  public:
    LocalTime now() override {
        ++readings;
        return time;
    }
    void setSecond(int second) { time.second = second; }

    LocalTime time{0, 5, 14, 22, 1, 1};
    int readings = 0;
};

// The window's side of the controller: a protocol choice and the lines shown.
class FakeWindow : public ClockWindow {
  public:
    Protocol selectedProtocol() const override { return protocol; }
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
    Protocol protocol = Protocol::EseRealTimeClock;
    MessageLog::Lines shown{};
    int showCount = 0;
    std::vector<OpenResult> openResults;
};

}  // namespace chronvane::test

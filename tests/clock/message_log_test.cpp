#include <gtest/gtest.h>

#include "clock/message_log.h"

namespace chronvane {
namespace {

TEST(MessageLog, StartsEmptyAndFillsFromTheBottom) {
    MessageLog log;
    for (const auto& line : log.lines()) {
        EXPECT_EQ(line, "");
    }
    log.append("a");
    EXPECT_EQ(log.lines(), (MessageLog::Lines{"", "", "", "a"}));
    log.append("b");
    EXPECT_EQ(log.lines(), (MessageLog::Lines{"", "", "a", "b"}));
}

TEST(MessageLog, FifthLinePushesTheOldestOut) {
    MessageLog log;
    for (const char* text : {"1", "2", "3", "4", "5"}) {
        log.append(text);
    }
    EXPECT_EQ(log.lines(), (MessageLog::Lines{"2", "3", "4", "5"}));
}

}  // namespace
}  // namespace chronvane

#include <set>
#include <string_view>

#include <gtest/gtest.h>

#include "clock/message_log.h"

namespace chronvane {
namespace {

TEST(MessageLog, StartsEmptyAndFillsFromTheBottom) {
    MessageLog log;
    for (const auto& line : log.lines()) {
        EXPECT_EQ(line, "");
    }
    log.append({LogKind::Opened, "COM1", "a"});
    EXPECT_EQ(log.lines(), (MessageLog::Lines{"", "", "", "a"}));
    log.append({LogKind::ClockSet, "", "b"});
    EXPECT_EQ(log.lines(), (MessageLog::Lines{"", "", "a", "b"}));
    EXPECT_EQ(log.newest(), (LogEntry{LogKind::ClockSet, "", "b"}));
}

TEST(MessageLog, FifthLinePushesTheOldestOut) {
    MessageLog log;
    for (const char* text : {"1", "2", "3", "4", "5"}) {
        log.append({LogKind::Transmitted, "COM1", text});
    }
    EXPECT_EQ(log.lines(), (MessageLog::Lines{"2", "3", "4", "5"}));
}

// The names leave the program (a journal's field, a metric's label): two kinds
// under one name would be counted as one.
TEST(LogKind, EveryKindHasANameOfItsOwn) {
    std::set<std::string_view> names;
    for (const LogKind kind : allLogKinds) {
        EXPECT_FALSE(logKindName(kind).empty());
        EXPECT_TRUE(names.insert(logKindName(kind)).second) << logKindName(kind);
    }
}

}  // namespace
}  // namespace chronvane

#include "service/event_ids.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace chronvane {
namespace {

// Every event's ids, the start and stop with the kinds: a copied id or a typo
// would file two events as one, or not be found by the alert that keys on it.
TEST(EventIds, EveryEventHasItsOwnWellFormedIds) {
    std::vector<std::pair<std::string, EventIds>> events{{"started", startedEventIds},
                                                         {"stopped", stoppedEventIds}};
    for (const LogKind kind : allLogKinds) {
        if (const auto ids = eventIds(kind)) {
            events.emplace_back(std::string(logKindName(kind)), *ids);
        }
    }
    ASSERT_EQ(events.size(), allLogKinds.size() + 1);  // all but "transmitted", and two
    std::set<std::string_view> messageIds;
    std::set<unsigned long> windowsIds;
    for (const auto& [name, ids] : events) {
        EXPECT_EQ(ids.messageId.size(), 32U) << name;
        EXPECT_EQ(ids.messageId.find_first_not_of("0123456789abcdef"), std::string_view::npos) << name;
        EXPECT_TRUE(messageIds.insert(ids.messageId).second) << name << ": MESSAGE_ID used twice";
        // 1 is the service's own errors; the message table has 10 and up.
        EXPECT_GE(ids.windowsEventId, 10U) << name;
        EXPECT_TRUE(windowsIds.insert(ids.windowsEventId).second) << name << ": event ID used twice";
    }
}

}  // namespace
}  // namespace chronvane

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "serial/open_failure.h"

namespace chronvane {
namespace {

// The system's texts end in ".\r\n"; a hint in brackets follows them directly.
TEST(OpenFailureWindows, SystemTextIsTrimmedAndTheHintFollowsIt) {
    const SystemError denied{static_cast<int>(ERROR_ACCESS_DENIED)};
    const std::string text = errorText(denied);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    EXPECT_NE(text.back(), '.') << text;
    EXPECT_EQ(openFailureReason(denied),
              text + " (another program is using the port; close it and try again)");
}

TEST(OpenFailureWindows, AnUnknownCodeStillGetsAText) {
    EXPECT_EQ(errorText(SystemError{0x7ffffff0}), "Windows error 2147483632");
}

}  // namespace
}  // namespace chronvane

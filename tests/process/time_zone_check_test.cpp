#include "process/time_zone_check.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace chronvane {
namespace {

// A zone directory of the test's own: one real zone file (by its magic) and one
// file that only has a zone's name.
class TimeZoneCheck : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(m_dir / "Test");
        std::ofstream(m_dir / "Test" / "Zone", std::ios::binary)
            << "TZif2" << std::string(40, '\0');
        std::ofstream(m_dir / "Test" / "Text") << "not a zone\n";
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    const std::filesystem::path m_dir =
        std::filesystem::temp_directory_path() / ("chronvane-zones-" + std::to_string(getpid()));
};

TEST_F(TimeZoneCheck, OnlyAZoneThatDoesNotExistIsReported) {
    const std::string dir = m_dir.string();
    const std::string absolute = dir + "/Test/Zone";
    const struct {
        const char* tz;
        bool exists;
    } cases[] = {
        {nullptr, true},
        {"", true},
        {":", true},
        {"UTC", true},
        {"Test/Zone", true},
        {":Test/Zone", true},
        {absolute.c_str(), true},
        {"CET-1CEST,M3.5.0,M10.5.0/3", true},
        {"EST5EDT", true},
        {"<+03>-3", true},
        {"XYZ3", true},
        {"NZST-12NZDT-13,M9.5.0/2:00,M4.1.0/3", true},
        {"Europe/Nowhere", false},
        {":Test/Nowhere", false},
        {"Test/Text", false},
        {"ABC", false},
        {"AB3", false},
        {"CET-1CEST,M3.5", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tz == nullptr ? "(unset)" : c.tz);
        const std::string problem = timeZoneProblem(c.tz, dir, "UTC");
        EXPECT_EQ(problem.empty(), c.exists) << problem;
    }
}

}  // namespace
}  // namespace chronvane

#include "serial/virtual_port.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <regex>

#include "start/program_options.h"
#include "formats/format_registry.h"
#include "serial/serial_port.h"
#include "timed_read.h"

namespace chronvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A reader of the virtual port, as the monitor or a terminal program would be.
class Reader {
  public:
    explicit Reader(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~Reader() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    bool isOpen() const { return m_fd >= 0; }

    // What arrives within the timeout, stopping early once count bytes came.
    Bytes read(std::size_t count,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(500)) {
        return test::readUpTo(m_fd, count, std::chrono::steady_clock::now() + timeout);
    }

  private:
    int m_fd;
};

// A new pseudo-terminal; null (and the test failed, saying why) when none is had.
std::shared_ptr<VirtualPort> newVirtualPort() {
    SystemError error;
    auto port = VirtualPort::create(error);
    EXPECT_TRUE(port) << errorText(error);
    return port;
}

DeviceMap virtualCom1(std::shared_ptr<VirtualPort> port) {
    DeviceMap devices;
    devices.setVirtual(0, std::move(port));
    return devices;
}

TEST(VirtualPort, ReaderPathStandsForTheComInTheDeviceMap) {
    SystemError error;
    auto port = VirtualPort::create(error);
    ASSERT_TRUE(port) << errorText(error);
    EXPECT_TRUE(std::regex_match(port->readerPath(), std::regex("/dev/pts/[0-9]+")));

    DeviceMap devices = virtualCom1(port);
    EXPECT_EQ(devices.path(0), port->readerPath());
    EXPECT_EQ(devices.virtualPort(0), port);
    EXPECT_EQ(devices.path(1), "/dev/ttyS1");
    EXPECT_FALSE(devices.virtualPort(1));
    devices.setPath(0, "/dev/ttyUSB0");
    EXPECT_EQ(devices.path(0), "/dev/ttyUSB0");
    EXPECT_FALSE(devices.virtualPort(0));
}

TEST(VirtualPort, BytesArriveUnchangedCarriageReturnsAndLineFeedsIncluded) {
    auto port = newVirtualPort();
    ASSERT_TRUE(port);
    SerialPort serial(virtualCom1(port));
    ASSERT_TRUE(serial.open(0, timeLine)) << std::strerror(serial.lastError().code);
    Reader reader(port->readerPath());
    ASSERT_TRUE(reader.isOpen());
    // Hour 10 and second 10 are 0x0A, minute 13 is 0x0D; the ESE line ends in 0x0D.
    const TimeReading time{10, 13, 10, 13, 9, 3};
    for (const Bytes& message : {buildMessage(Protocol::OstrelDateTime, time), buildMessage(Protocol::EseRealTimeClock, time)}) {
        ASSERT_TRUE(serial.write(message));
        EXPECT_EQ(reader.read(message.size()), message);
    }
}

TEST(VirtualPort, WithNobodyReadingWritesNeverFailAndALateReaderGetsOnlyTheLatest) {
    auto port = newVirtualPort();
    ASSERT_TRUE(port);
    SerialPort serial(virtualCom1(port));
    ASSERT_TRUE(serial.open(0, timeLine));
    // Far more than any pseudo-terminal buffers: an hour of 8-bit messages.
    TimeReading time{0, 0, 12, 1, 0, 0};
    const auto before = std::chrono::steady_clock::now();
    for (int i = 0; i < 3600; ++i) {
        time.second = i % 60;
        time.minute = i / 60;
        ASSERT_TRUE(serial.write(buildMessage(Protocol::OstrelDateTime, time))) << "message " << i;
    }
    // The writes take milliseconds in all, and a loaded machine stretches that to
    // well under a second; one that waited for a reader would wait for ever.
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));

    Reader reader(port->readerPath());
    ASSERT_TRUE(reader.isOpen());
    const Bytes next = buildMessage(Protocol::EseRealTimeClock, TimeReading{0, 0, 13, 1, 0, 0});
    ASSERT_TRUE(serial.write(next));
    EXPECT_EQ(reader.read(1000, std::chrono::milliseconds(200)), next);
}

TEST(VirtualPort, ClosingAndReopeningKeepsThePathAndTheReader) {
    auto port = newVirtualPort();
    ASSERT_TRUE(port);
    const std::string path = port->readerPath();
    SerialPort serial(virtualCom1(port));
    Reader reader(path);
    ASSERT_TRUE(reader.isOpen());
    const Bytes message = buildMessage(Protocol::EseRealTimeClock, TimeReading{});
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(serial.open(0, timeLine)) << std::strerror(serial.lastError().code);
        EXPECT_EQ(serial.devicePath(0), path);
        ASSERT_TRUE(serial.write(message));
        EXPECT_EQ(reader.read(message.size()), message);
        serial.close();
        EXPECT_TRUE(serial.lastResult());
    }
    EXPECT_FALSE(serial.write(message));
}

TEST(VirtualPort, SeveralVirtualPortsCanBeOpenAtOnce) {
    // Every master end is the same /dev/ptmx inode: a lock on one would block the rest,
    // here and in any other program using pseudo-terminals.
    auto first = newVirtualPort();
    auto second = newVirtualPort();
    ASSERT_TRUE(first && second);
    SerialPort one(virtualCom1(first));
    SerialPort two(virtualCom1(second));
    ASSERT_TRUE(one.open(0, timeLine)) << std::strerror(one.lastError().code);
    ASSERT_TRUE(two.open(0, timeLine)) << std::strerror(two.lastError().code);
    Reader reader(second->readerPath());
    const Bytes message = buildMessage(Protocol::EseRealTimeClock, TimeReading{});
    ASSERT_TRUE(two.write(message));
    EXPECT_EQ(reader.read(message.size()), message);
}

TEST(VirtualPort, CommandLineMarksPortsVirtualInAnyCase) {
    struct Case {
        std::vector<std::string> args;
        std::array<bool, portCount> expected;
    };
    const Case cases[] = {
        {{"--device", "COM1=virtual"}, {true, false, false, false}},
        {{"--device=com3=VIRTUAL", "--device", "COM2=Virtual"}, {false, true, true, false}},
        {{"--device", "COM1=virtual", "--device", "COM1=/dev/ttyUSB0"},
         {false, false, false, false}},
        {{"--device", "COM4=/dev/virtual"}, {false, false, false, false}},
    };
    for (const Case& c : cases) {
        const auto parsed = parseProgramArguments(c.args);
        ASSERT_TRUE(parsed.value) << parsed.error;
        EXPECT_EQ(parsed.value->virtualPorts, c.expected) << testing::PrintToString(c.args);
    }
}

TEST(VirtualPort, OpeningTheVirtualPortsTellsWhereReadersGo) {
    auto parsed = parseProgramArguments({"--device", "COM2=virtual", "-com2"});
    ASSERT_TRUE(parsed.value);
    std::string notice;
    const ProblemLine problem = openVirtualPorts(*parsed.value, notice);
    ASSERT_EQ(problem, "");
    const auto& devices = parsed.value->devices;
    ASSERT_TRUE(devices.virtualPort(1));
    EXPECT_EQ(notice, "COM2 is virtual: readers open " + devices.path(1) + "\n");
    EXPECT_FALSE(devices.virtualPort(0));
    // Copies of the map share the one pseudo-terminal.
    const DeviceMap copy = devices;
    EXPECT_EQ(copy.virtualPort(1), devices.virtualPort(1));
}

}  // namespace
}  // namespace chronvane

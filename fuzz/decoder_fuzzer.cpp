// Any byte stream, cut into reads anywhere and with pauses anywhere: the decoder must
// never crash, never read out of bounds, and decode the same however the stream was cut.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "monitor/message_report.h"
#include "monitor/stream_decoder.h"

namespace {

using namespace chronvane::monitor;
using namespace std::chrono_literals;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void checkMessage(const DecodedMessage& message) {
    for (std::size_t i = 0; i < message.faults.size(); ++i) {
        for (std::size_t j = i + 1; j < message.faults.size(); ++j) {
            check(message.faults[i] != message.faults[j]);
        }
    }
    if (message.sound()) {
        check(message.hour && *message.hour >= 0 && *message.hour <= 23);
        check(message.minute && *message.minute >= 0 && *message.minute <= 59);
        check(message.second && *message.second >= 0 && *message.second <= 59);
        check(message.strayBytes == 0);
    }
    check(!reportLine(message).empty());
    check(reportJson(message, "unknown").front() == '{');
}

std::vector<std::string> decode(const std::uint8_t* data, std::size_t size, std::size_t chunk) {
    StreamDecoder decoder;
    std::vector<std::string> lines;
    const Timestamp at = std::chrono::seconds(1'800'000'000);
    for (std::size_t offset = 0; offset < size; offset += chunk) {
        const std::size_t length = std::min(chunk, size - offset);
        for (const auto& message : decoder.feed({data + offset, length}, at)) {
            checkMessage(message);
            lines.push_back(reportLine(message));
        }
    }
    for (const auto& message : decoder.idle(at + 1s)) {
        checkMessage(message);
        lines.push_back(reportLine(message));
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks how the rest is cut into reads; all at one instant, so the
    // cut alone may not change what comes out.
    const std::size_t chunk = std::size_t{data[0]} % 16 + 1;
    const auto whole = decode(data + 1, size - 1, size);
    const auto pieces = decode(data + 1, size - 1, chunk);
    check(whole == pieces);

    // Pauses between reads as long as the bytes say: only must not crash.
    StreamDecoder decoder;
    Timestamp at = std::chrono::seconds(1'800'000'000);
    for (std::size_t offset = 1; offset < size; offset += chunk) {
        const std::size_t length = std::min(chunk, size - offset);
        at += std::chrono::milliseconds(data[offset] * 2);
        for (const auto& message : decoder.feed({data + offset, length}, at)) {
            checkMessage(message);
        }
        for (const auto& message : decoder.idle(at + std::chrono::milliseconds(data[offset]))) {
            checkMessage(message);
        }
    }
    decoder.finish();
    return 0;
}

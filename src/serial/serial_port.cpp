#include "serial_port.h"

#include <chrono>
#include <thread>
#include <utility>

#include "core/deadline.h"

namespace chronvane {

void SerialPort::WriteFailures::add(SystemError failure) {
    if (!failure.failed()) {
        return;
    }
    const WriteFailure failureKind = classify(failure);
    if (writeFailureWeight(failureKind) > writeFailureWeight(kind)) {
        error = failure;
        kind = failureKind;
    }
}

SerialPort::SerialPort(DeviceMap devices) : m_devices(std::move(devices)) {}

SerialPort::~SerialPort() {
    close();
}

bool SerialPort::open(int index, const LineSettings& line) {
    // A caller that skipped close() must not leak the device it held.
    if (m_device) {
        close();
    }
    m_ready.reset();
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(portCount)) {
        fail(invalidArgument());
        return false;
    }
    m_portIndex = index;
    if (!supports(line)) {
        fail(invalidArgument());
        return false;
    }
    if (const PortFailure failure = openDevice(index, line); failure.failed()) {
        fail(failure);
        return false;
    }
    noteIdentity();
    succeed();
    return true;
}

// A 48-byte message takes 50 ms to leave at 9600 baud. A line held off by flow
// control would keep its bytes, and the system would hold the close until they
// left (Linux: up to 30 s of closing_wait), which would freeze the window.
void SerialPort::settleOutput() {
    const Deadline deadline(writeBudget);
    while (outputQueued()) {
        if (deadline.passed()) {
            // Nothing of ours may be left for the next user of the port. A failure
            // here leaves nothing to undo: the device is released next either way.
            discardQueuedOutput();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds{2});
    }
}

bool SerialPort::reopen(int index, const LineSettings& line) {
    if (m_identity.index == index) {
        if (m_device) {
            close();
        }
        if (const PortRefusal refused = checkIdentity(index); refused != PortRefusal::None) {
            m_portIndex = index;
            fail(refused);
            return false;
        }
    }
    return open(index, line);
}

SerialPort::Readiness SerialPort::checkReadiness() {
    Readiness ready;
    ready.error = prepareWrite();
    // An earlier message the line has not let out yet would reach the equipment
    // late, carrying a time that is no longer true: it goes, and this second counts
    // as held up. A device that cannot say is taken as having nothing queued; its
    // writes will tell.
    if (!ready.error.failed() && outputQueued()) {
        ready.failures.add(discardQueuedOutput());
        ready.failures.add(timedOut());
    }
    return ready;
}

void SerialPort::getReady() {
    m_ready.reset();
    if (m_portIndex != -1 && m_device) {
        m_ready = checkReadiness();
    }
}

void SerialPort::close() {
    m_ready.reset();
    if (m_portIndex == -1) {
        return;
    }
    if (m_device) {
        settleOutput();
        if (const SystemError error = releaseDevice(); error.failed()) {
            fail(error);
        } else {
            succeed();
        }
        m_device.reset();
    } else {
        fail(notOpen());
    }
    m_portIndex = -1;
}

bool SerialPort::write(const ByteString& bytes) {
    if (m_portIndex == -1 || !m_device) {
        fail(notOpen());
        m_writeFailure = WriteFailure::Other;
        return false;
    }
    if (bytes.empty()) {
        return m_lastResult;
    }
    const auto abort = [&](SystemError error) {
        fail(error);
        m_writeFailure = classify(error);
        return false;
    };
    const Readiness ready = m_ready ? *std::exchange(m_ready, std::nullopt) : checkReadiness();
    if (ready.error.failed()) {
        return abort(ready.error);
    }
    WriteFailures failures = ready.failures;
    if (const SystemError error = sendBytes(bytes, failures); error.failed()) {
        return abort(error);
    }
    if (failures.kind == WriteFailure::None) {
        succeed();
    } else {
        fail(failures.error);
    }
    m_writeFailure = failures.kind;
    return m_lastResult;
}

}  // namespace chronvane

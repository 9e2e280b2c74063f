#include <windows.h>

#include <chrono>
#include <cstdint>

#include "core/deadline.h"
#include "serial_port.h"

// The serial port through the Win32 comm API. open(): CreateFileA with read and
// write access, no sharing, OPEN_EXISTING, synchronous; FlushFileBuffers (outcome
// ignored: some drivers lack it); GetCommState, the four settings and the flow
// control into the DCB, every other field as read; SetCommState, read back and
// check (ERROR_NOT_SUPPORTED when the driver kept other values); SetCommTimeouts
// (reads never wait, a write call at most the message's budget). Any positive
// baud rate is asked for; the driver decides. write(): one WriteFile per byte,
// counted only when it reports 1 byte written; the write time-out is lowered as
// the message uses up its budget, and once the budget is spent the remaining
// bytes fail without a call. The queue is ClearCommError's cbOutQue, dropped with
// PurgeComm. Codes: ERROR_INVALID_PARAMETER, ERROR_INVALID_HANDLE,
// ERROR_COUNTER_TIMEOUT. No virtual COMs.

namespace chronvane {
namespace {

// The write time-out is lowered in steps of this size as a message uses up its
// budget, so that a message going out normally costs no SetCommTimeouts at all.
constexpr DWORD timeoutStepMs = 10;

SystemError windowsError(DWORD code) {
    return SystemError{static_cast<int>(code)};
}

// The line's framing and its output flow control. A receiver's RTS
// handshake is switched to plain RTS on only for FlowControl::None: Linux, and so
// Wine, have one bit (CRTSCTS) for both directions, and with it CTS would hold our
// output too.
void applyLineSettings(DCB& dcb, const LineSettings& line) {
    dcb.BaudRate = static_cast<DWORD>(line.baudRate);
    dcb.ByteSize = static_cast<BYTE>(line.dataBits);
    dcb.Parity = line.parity == Parity::None  ? NOPARITY
                 : line.parity == Parity::Odd ? ODDPARITY
                                              : EVENPARITY;
    dcb.StopBits = line.stopBits == StopBits::One ? ONESTOPBIT : TWOSTOPBITS;
    switch (line.flow) {
        case FlowControl::None:
            dcb.fOutxCtsFlow = FALSE;
            dcb.fOutX = FALSE;
            if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
                dcb.fRtsControl = RTS_CONTROL_ENABLE;
            }
            break;
        case FlowControl::XonXoff:
            dcb.fOutxCtsFlow = FALSE;
            dcb.fOutX = TRUE;
            break;
        case FlowControl::RtsCts:
            dcb.fOutX = FALSE;
            dcb.fOutxCtsFlow = TRUE;
            dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
            break;
    }
}

bool settingsTook(const DCB& wanted, const DCB& actual) {
    return actual.BaudRate == wanted.BaudRate && actual.ByteSize == wanted.ByteSize &&
           actual.Parity == wanted.Parity && actual.StopBits == wanted.StopBits &&
           actual.fOutX == wanted.fOutX && actual.fOutxCtsFlow == wanted.fOutxCtsFlow;
}

// Reads never wait (nothing is read anyway); a write call gives up after writeMs.
// Both write fields zero would mean "wait for ever", so writeMs is at least 1.
bool setWriteTimeout(HANDLE handle, DWORD writeMs) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = writeMs;
    return SetCommTimeouts(handle, &timeouts) != FALSE;
}

// Bytes of an earlier message the driver still holds; 0 when it cannot say (its
// writes will tell).
DWORD queuedBytes(HANDLE handle) {
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(handle, &errors, &status) ? status.cbOutQue : 0;
}

}  // namespace

struct SerialPort::Device {
    HANDLE handle;
    // The write time-out the device holds now, in milliseconds.
    DWORD writeTimeoutMs;
};

void SerialPort::DeviceDeleter::operator()(Device* device) const {
    delete device;
}

SystemError SerialPort::invalidArgument() {
    return windowsError(ERROR_INVALID_PARAMETER);
}

SystemError SerialPort::notOpen() {
    return windowsError(ERROR_INVALID_HANDLE);
}

SystemError SerialPort::timedOut() {
    return windowsError(ERROR_COUNTER_TIMEOUT);
}

// The driver decides which rates it can set; SetCommState refuses the others.
bool SerialPort::supports(const LineSettings& line) {
    return line.baudRate > 0 && line.dataBits >= 5 && line.dataBits <= 8;
}

// Which failures a reopen can cure: those that say the device itself is gone (a USB
// adapter pulled out answers with one of these, depending on its driver).
WriteFailure SerialPort::classify(SystemError error) {
    switch (static_cast<DWORD>(error.code)) {
        case ERROR_COUNTER_TIMEOUT:
        case ERROR_TIMEOUT:
        case WAIT_TIMEOUT:
            return WriteFailure::HeldUp;
        case ERROR_INVALID_HANDLE:
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_NOT_READY:
        case ERROR_OPERATION_ABORTED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
            return WriteFailure::DeviceGone;
        default:
            return WriteFailure::Other;
    }
}

PortFailure SerialPort::openDevice(int index, const LineSettings& line) {
    // Read access too: Wine refuses the comm-state calls on a write-only handle.
    // No sharing: the port is ours alone while open (Windows refuses a second open
    // with ERROR_ACCESS_DENIED). No flags: synchronous I/O.
    const std::string& path = m_devices.path(index);
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return lastSystemError();
    }
    auto abandon = [&](SystemError error) {
        CloseHandle(handle);
        return PortFailure{error};
    };

    // Nothing of ours is queued yet, so this only waits for what an earlier user
    // left. Some port drivers do not implement flushing; that must not keep the
    // port from opening, so the outcome is not looked at.
    FlushFileBuffers(handle);

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) {
        const SystemError error = lastSystemError();
        // A COM name whose device is not there: Wine opens it all the same, as a
        // handle of no known type on which every call fails with "invalid
        // function", and that would read as a port that is no serial port. A
        // serial port is a character device: say there is no such port, as Windows
        // does for a name it does not know.
        if (static_cast<DWORD>(error.code) == ERROR_INVALID_FUNCTION &&
            GetFileType(handle) == FILE_TYPE_UNKNOWN) {
            return abandon(windowsError(ERROR_FILE_NOT_FOUND));
        }
        return abandon(error);
    }
    applyLineSettings(dcb, line);
    if (!SetCommState(handle, &dcb)) {
        return abandon(lastSystemError());
    }
    // A driver may accept a DCB and quietly keep some of its old settings.
    DCB actual{};
    actual.DCBlength = sizeof actual;
    if (!GetCommState(handle, &actual)) {
        return abandon(lastSystemError());
    }
    if (!settingsTook(dcb, actual)) {
        return abandon(windowsError(ERROR_NOT_SUPPORTED));
    }
    const auto budgetMs = static_cast<DWORD>(writeBudget.count());
    if (!setWriteTimeout(handle, budgetMs)) {
        return abandon(lastSystemError());
    }

    m_device.reset(new Device{handle, budgetMs});
    return PortFailure{};
}

SystemError SerialPort::releaseDevice() {
    return CloseHandle(m_device->handle) ? SystemError{} : lastSystemError();
}

// No virtual COMs here, so nothing can be waiting for a reader.
SystemError SerialPort::prepareWrite() {
    return SystemError{};
}

bool SerialPort::outputQueued() {
    return queuedBytes(m_device->handle) > 0;
}

SystemError SerialPort::discardQueuedOutput() {
    return PurgeComm(m_device->handle, PURGE_TXCLEAR) ? SystemError{} : lastSystemError();
}

SystemError SerialPort::sendBytes(const ByteString& bytes, WriteFailures& failures) {
    Device& device = *m_device;
    const auto budgetMs = static_cast<DWORD>(writeBudget.count());
    // A message that ran short of time has left a lowered time-out behind.
    if (device.writeTimeoutMs != budgetMs) {
        if (!setWriteTimeout(device.handle, budgetMs)) {
            return lastSystemError();
        }
        device.writeTimeoutMs = budgetMs;
    }
    const Deadline deadline(writeBudget);
    for (const std::uint8_t byte : bytes) {
        const auto left = deadline.left().count();
        if (left <= 0) {
            // The message has had its time: the rest is not offered to a device
            // that has just shown it is not taking bytes.
            failures.add(timedOut());
            continue;
        }
        // Keep one call from running past the message's deadline.
        if (static_cast<DWORD>(left) + timeoutStepMs <= device.writeTimeoutMs) {
            const DWORD lowered = static_cast<DWORD>(left);
            if (!setWriteTimeout(device.handle, lowered)) {
                failures.add(lastSystemError());
                continue;
            }
            device.writeTimeoutMs = lowered;
        }
        DWORD written = 0;
        if (!WriteFile(device.handle, &byte, 1, &written, nullptr)) {
            failures.add(lastSystemError());
        } else if (written != 1) {
            // A time-out ends the call successfully with nothing written.
            failures.add(timedOut());
        }
    }
    return SystemError{};
}

// A COM name always stands for the same port: nothing to tell apart.
void SerialPort::noteIdentity() {
    m_identity = Identity{};
}

PortRefusal SerialPort::checkIdentity(int /*index*/) const {
    return PortRefusal::None;
}

}  // namespace chronvane

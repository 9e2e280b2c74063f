#include <windows.h>

#include <chrono>
#include <cstdint>
#include <utility>

#include "serial_port.h"

namespace chronvane {
namespace {

using SteadyClock = std::chrono::steady_clock;

// How long one message may hold the caller when the device stops taking bytes
// (flow control held off, adapter pulled out). Well under the one-second period.
constexpr std::chrono::milliseconds writeBudget{100};
// The write time-out is lowered in steps of this size as a message uses up its
// budget, so that a message going out normally costs no SetCommTimeouts at all.
constexpr DWORD timeoutStepMs = 10;

SystemError windowsError(DWORD code) {
    return SystemError{static_cast<int>(code)};
}

// The four line settings and the chosen output flow control. A receiver's RTS
// handshake is switched to plain RTS on only for FlowControl::None: Linux, and so
// Wine, have one bit (CRTSCTS) for both directions, and with it CTS would hold our
// output too.
void applyLineSettings(DCB& dcb, DWORD baudRate, FlowControl flow) {
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    switch (flow) {
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

// Which failures a reopen can cure: those that say the device itself is gone (a USB
// adapter pulled out answers with one of these, depending on its driver).
WriteFailure classify(SystemError error) {
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

// Bytes of an earlier message the driver still holds; 0 when it cannot say (its
// writes will tell).
DWORD queuedBytes(HANDLE handle) {
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(handle, &errors, &status) ? status.cbOutQue : 0;
}

// Lets what is queued leave within writeBudget, then drops the rest, so that a line
// held off by flow control cannot hold the caller. A driver that cannot report its
// queue is purged at once.
void settleOutput(HANDLE handle) {
    const auto deadline = SteadyClock::now() + writeBudget;
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(handle, &errors, &status) || status.cbOutQue == 0) {
            break;
        }
        if (SteadyClock::now() >= deadline) {
            break;
        }
        Sleep(2);
    }
    // Nothing of ours may be left for the next user of the port. A failure here
    // leaves nothing to undo: the handle is closed next either way.
    PurgeComm(handle, PURGE_TXABORT | PURGE_TXCLEAR);
}

}  // namespace

struct SerialPort::Device {
    HANDLE handle;
    // The write time-out the device holds now, in milliseconds.
    DWORD writeTimeoutMs;
};

SerialPort::SerialPort(DeviceMap devices) : m_devices(std::move(devices)) {}

SerialPort::~SerialPort() {
    close();
}

bool SerialPort::open(int index, int baudRate) {
    // A caller that skipped close() must not leak the device it held.
    if (m_device) {
        close();
    }
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(DeviceMap::portCount)) {
        fail(windowsError(ERROR_INVALID_PARAMETER));
        return false;
    }
    m_portIndex = index;
    if (baudRate <= 0) {
        fail(windowsError(ERROR_INVALID_PARAMETER));
        return false;
    }

    // Read access too: Wine refuses the comm-state calls on a write-only handle.
    // No sharing: the port is ours alone while open (Windows refuses a second open
    // with ERROR_ACCESS_DENIED). No flags: synchronous I/O.
    const std::string& path = m_devices.path(index);
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        fail(lastSystemError());
        return false;
    }
    auto abandon = [&](SystemError error) {
        CloseHandle(handle);
        fail(error);
        return false;
    };

    // Nothing of ours is queued yet, so this only waits for what an earlier user
    // left. Some port drivers do not implement flushing; that must not keep the
    // port from opening, so the outcome is not looked at.
    FlushFileBuffers(handle);

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) {
        return abandon(lastSystemError());
    }
    applyLineSettings(dcb, static_cast<DWORD>(baudRate), m_flow);
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

    m_device = std::make_unique<Device>(Device{handle, budgetMs});
    succeed();
    return true;
}

void SerialPort::close() {
    if (m_portIndex == -1) {
        return;
    }
    if (m_device) {
        settleOutput(m_device->handle);
        if (CloseHandle(m_device->handle)) {
            succeed();
        } else {
            fail(lastSystemError());
        }
        m_device.reset();
    } else {
        fail(windowsError(ERROR_INVALID_HANDLE));
    }
    m_portIndex = -1;
}

bool SerialPort::write(const ByteString& bytes) {
    if (m_portIndex == -1 || !m_device) {
        fail(windowsError(ERROR_INVALID_HANDLE));
        m_writeFailure = WriteFailure::Other;
        return false;
    }
    if (bytes.empty()) {
        return m_lastResult;
    }
    Device& device = *m_device;
    SystemError failure;
    WriteFailure failureKind = WriteFailure::None;
    const auto failed = [&](SystemError error) {
        const WriteFailure kind = classify(error);
        if (writeFailureWeight(kind) > writeFailureWeight(failureKind)) {
            failure = error;
            failureKind = kind;
        }
    };

    // An earlier message the line has not let out yet would reach the equipment
    // late, carrying a time that is no longer true: it goes, and this second counts
    // as held up.
    if (queuedBytes(device.handle) > 0) {
        if (!PurgeComm(device.handle, PURGE_TXCLEAR)) {
            failed(lastSystemError());
        }
        failed(windowsError(ERROR_COUNTER_TIMEOUT));
    }

    const auto budgetMs = static_cast<DWORD>(writeBudget.count());
    // A message that ran short of time has left a lowered time-out behind.
    if (device.writeTimeoutMs != budgetMs) {
        if (!setWriteTimeout(device.handle, budgetMs)) {
            fail(lastSystemError());
            m_writeFailure = classify(m_lastError);
            return false;
        }
        device.writeTimeoutMs = budgetMs;
    }
    const auto deadline = SteadyClock::now() + writeBudget;
    for (const std::uint8_t byte : bytes) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
        if (left <= 0) {
            // The message has had its time: the rest is not offered to a device
            // that has just shown it is not taking bytes.
            failed(windowsError(ERROR_COUNTER_TIMEOUT));
            continue;
        }
        // Keep one call from running past the message's deadline.
        if (static_cast<DWORD>(left) + timeoutStepMs <= device.writeTimeoutMs) {
            const DWORD lowered = static_cast<DWORD>(left);
            if (!setWriteTimeout(device.handle, lowered)) {
                failed(lastSystemError());
                continue;
            }
            device.writeTimeoutMs = lowered;
        }
        DWORD written = 0;
        if (!WriteFile(device.handle, &byte, 1, &written, nullptr)) {
            failed(lastSystemError());
        } else if (written != 1) {
            // A time-out ends the call successfully with nothing written.
            failed(windowsError(ERROR_COUNTER_TIMEOUT));
        }
    }
    if (failureKind == WriteFailure::None) {
        succeed();
    } else {
        fail(failure);
    }
    m_writeFailure = failureKind;
    return m_lastResult;
}

}  // namespace chronvane

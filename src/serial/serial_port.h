#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "core/byte_string.h"
#include "core/line_settings.h"
#include "core/system_error.h"
#include "device_map.h"
#include "write_failure.h"

namespace chronvane {

// One serial device, COM1 to COM4, opened exclusively with a LineSettings and written one
// byte per call. Every outcome is also kept: lastResult() for the most recent
// device call and lastError() for the system's reason behind the most recent
// failure, so callers can tell the operator why (for example EACCES outside the
// dialout group). Never throws; never blocks for long (see write).
// This interface is the same on every platform, and so is what does not touch the
// device (serial_port.cpp): the argument checks, the outcomes kept, dropping an
// earlier message still queued and sorting a write's failures. Each platform's
// implementation file (serial_port_posix.cpp: termios; serial_port_windows.cpp: the
// Win32 comm API) defines the device it holds and the device calls, behind the
// private hooks below. The contracts spell out the POSIX calls and errno values;
// "On Windows" says where that file differs.
class SerialPort {
  public:
    explicit SerialPort(DeviceMap devices = DeviceMap{});
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens COM<index+1> through the device map and makes it ready to send.
    // index portCount or more, compared unsigned (so negatives too): returns false,
    // changes nothing (lastError EINVAL); a line the platform cannot set (below):
    // false, lastError EINVAL. Otherwise: opens read-write, O_NOCTTY |
    // O_NONBLOCK; takes exclusive use (flock LOCK_EX|LOCK_NB, then TIOCEXCL); discards
    // pending output; reads the settings; sets line's speed, data bits, parity and
    // stop bits and its output flow control (see LineSettings) and switches
    // output post-processing and local echo and signal characters off, leaving every
    // other setting as the device had it; writes them back and reads them again to
    // check they took (EINVAL when the line settings did not, EOPNOTSUPP when the
    // flow control did not: a driver without RTS/CTS drops CRTSCTS).
    // A virtual COM (see DeviceMap::setVirtual) is not opened by path: its
    // pseudo-terminal's master end is duplicated and the same steps follow, except
    // flock and TIOCEXCL: nobody else can open that end, and a lock would fall on
    // the inode every pseudo-terminal master shares. Any failure: returns false,
    // releases whatever it had opened, keeps the errno in lastError(). portIndex()
    // is index afterwards whatever the outcome.
    // A device still held is closed first.
    // On Windows: CreateFileA with read and write access, no sharing, OPEN_EXISTING,
    // synchronous; FlushFileBuffers (outcome ignored: some drivers lack it);
    // GetCommState, line's framing and flow control into the DCB, every other
    // field as read; SetCommState, read back and check (ERROR_NOT_SUPPORTED when
    // the driver kept other values); SetCommTimeouts (reads never wait, a write
    // call at most the message's budget). Errors are GetLastError values
    // (ERROR_INVALID_PARAMETER for a bad index or line). No virtual COMs.
    bool open(int index, const LineSettings& line);

    // Opens again, after the device went away, the device the last successful
    // open() held, as open() would with its index and baud rate; without one, the
    // same as open(index, line). A path can be handed to another device
    // meanwhile (a /dev/pts number goes to the next pseudo-terminal made, another
    // user's): it is taken back only when it still names the same device (its
    // device number, and for a pseudo-terminal its owner), or when it is a name
    // meant to follow a replug: a symbolic link (/dev/serial/by-id/..., or one the
    // user made), which is followed wherever it now points, or a USB adapter's
    // ttyUSB/ttyACM node, which comes back under the same name. Otherwise returns
    // false and leaves the device alone (lastError ESTALE).
    // On Windows: open() again; a COM name always stands for the same port.
    bool reopen(int index, const LineSettings& line);

    // Releases the device if one is held; harmless when closed. Output still queued
    // gets about 100 ms to leave and is then dropped, so a line held off by flow
    // control cannot hold the caller. Exclusive use is given up even while another
    // process keeps the device open. portIndex() is -1 afterwards whatever the
    // outcome.
    // On Windows: ClearCommError shows what is queued, PurgeComm drops it, then
    // CloseHandle; a port whose open failed records ERROR_INVALID_HANDLE.
    void close();

    // Sends every byte of bytes, one write call per byte, in order, never stopping
    // early. True only when every byte was taken (for an empty string: lastResult()
    // unchanged); false at once if the port is closed (lastError EBADF,
    // lastWriteFailure Other). A time message must leave within its own second or not
    // at all: output of an earlier call that the driver still holds queued (flow
    // control holding the line; TIOCOUTQ) is discarded first (tcflush TCOFLUSH),
    // this message is still written, and the call returns false with lastWriteFailure
    // HeldUp (lastError ETIMEDOUT). A device that does not take bytes never holds the
    // caller for more than about 100 ms per message: a byte not taken in time fails
    // with ETIMEDOUT, HeldUp. When bytes fail for different reasons, the one that
    // needs the most (DeviceGone, then Other, then HeldUp) is kept. On a virtual COM,
    // what no reader has taken is thrown away first.
    // On Windows: one WriteFile per byte, counted only when it reports 1 byte
    // written; the write time-out is lowered as the message uses up its budget, and
    // once the budget is spent the remaining bytes fail without a call. A timed-out
    // byte gives ERROR_COUNTER_TIMEOUT, a closed port ERROR_INVALID_HANDLE.
    bool write(const ByteString& bytes);

    bool isOpen() const { return m_device != nullptr; }
    int portIndex() const { return m_portIndex; }
    bool lastResult() const { return m_lastResult; }
    // The reason for the most recent failed call; no failure after a success.
    SystemError lastError() const { return m_lastError; }
    // What the most recent write's failure means (see WriteFailure); None after a
    // write that succeeded and before the first write.
    WriteFailure lastWriteFailure() const { return m_writeFailure; }

    const DeviceMap& devices() const { return m_devices; }
    // The path behind COM<index+1> ("" for an index out of range).
    const std::string& devicePath(int index) const { return m_devices.path(index); }

  private:
    // The open device, as the platform holds it; null while closed.
    struct Device;
    // Frees a Device in the one file that knows its type
    // (serial_port_<platform>.cpp), so that serial_port.cpp can hold and drop it.
    // The device itself is released before that, by releaseDevice().
    struct DeviceDeleter {
        void operator()(Device* device) const;
    };

    // The failures of one write call. Keeps the one that asks the most of the caller
    // (writeFailureWeight), the first of equal weight; a SystemError that is no
    // failure is passed over.
    struct WriteFailures {
        SystemError error;
        WriteFailure kind = WriteFailure::None;
        void add(SystemError failure);
    };

    // How long one message may hold the caller when the device stops taking bytes
    // (flow control held off, adapter pulled out), and how long close() lets queued
    // output leave. Well under the one-second period.
    static constexpr std::chrono::milliseconds writeBudget{100};

    // Per platform (serial_port_<platform>.cpp), for open, close and write:
    // The system's codes for an argument out of range (EINVAL), a port that is not
    // open (EBADF) and bytes not taken in time (ETIMEDOUT). On Windows:
    // ERROR_INVALID_PARAMETER, ERROR_INVALID_HANDLE, ERROR_COUNTER_TIMEOUT.
    static SystemError invalidArgument();
    static SystemError notOpen();
    static SystemError timedOut();
    // Whether open() can set line (POSIX: the termios speeds from 1200 to 115200;
    // Windows: any positive rate, the driver decides; 5 to 8 data bits on both).
    static bool supports(const LineSettings& line);
    // What a failure means for whoever acts on it (see WriteFailure): the codes
    // that say the device itself is gone, the time-outs, and Other for the rest.
    static WriteFailure classify(SystemError error);
    // open()'s device steps for COM<index+1> (index in range, line supported,
    // nothing held). Success: m_device holds the device, returns no failure.
    // Failure: releases whatever it had opened, returns the system's reason.
    SystemError openDevice(int index, const LineSettings& line);
    // What reopen() needs to know again of the device openDevice() just opened
    // (m_device set), kept until the next successful open. POSIX: its device
    // number and owner.
    void noteIdentity();
    // Whether the device behind COM<index+1>'s path may be taken back by reopen()
    // (see there): no failure, or ESTALE. Does not open it.
    SystemError checkIdentity(int index) const;
    // close()'s device steps (m_device set): lets queued output leave within
    // writeBudget and drops the rest, gives up exclusive use, releases the device.
    // Returns the system's reason when the release failed; the device is given up
    // either way and the caller drops m_device.
    SystemError releaseDevice();
    // What write() does before looking at the queue (m_device set); a failure ends
    // the write before any byte is offered. POSIX: throws away what no reader of a
    // virtual COM has taken. Windows: nothing.
    SystemError prepareWrite();
    // Whether the driver still holds output of an earlier write (m_device set);
    // false when it cannot say (its writes will tell).
    bool outputQueued();
    // Drops that output (m_device set): no failure, or the system's reason.
    SystemError discardQueuedOutput();
    // Offers every byte of bytes in order, one call each, within writeBudget from
    // now (m_device set), adding every failure to failures and never stopping
    // early. A failure returned ends the write at once and counts instead of
    // failures (Windows: the write time-out could not be restored).
    SystemError sendBytes(const ByteString& bytes, WriteFailures& failures);

    void fail(SystemError error) {
        m_lastResult = false;
        m_lastError = error;
    }
    void succeed() {
        m_lastResult = true;
        m_lastError = SystemError{};
    }

    DeviceMap m_devices;
    // The device of the last successful open, as noteIdentity() found it.
    struct Identity {
        int index = -1;
        unsigned long long device = 0;
        unsigned long long owner = 0;
    };
    Identity m_identity;
    int m_portIndex = -1;
    std::unique_ptr<Device, DeviceDeleter> m_device;
    bool m_lastResult = false;
    SystemError m_lastError;
    WriteFailure m_writeFailure = WriteFailure::None;
};

}  // namespace chronvane

#pragma once

#include <memory>
#include <string>

#include "core/byte_string.h"
#include "core/flow_control.h"
#include "core/system_error.h"
#include "device_map.h"
#include "write_failure.h"

namespace chronvane {

// One serial device, COM1 to COM4, opened exclusively at <baud> 8N1 and written one
// byte per call. Every outcome is also kept: lastResult() for the most recent
// device call and lastError() for the system's reason behind the most recent
// failure, so callers can tell the operator why (for example EACCES outside the
// dialout group). Never throws; never blocks for long (see write).
// This interface is the same on every platform; each platform's implementation
// file (serial_port_posix.cpp: termios; serial_port_windows.cpp: the Win32 comm
// API) defines the device it holds and the calls below. The contracts spell out
// the POSIX calls and errno values; "On Windows" says where that file differs.
class SerialPort {
  public:
    explicit SerialPort(DeviceMap devices = DeviceMap{});
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens COM<index+1> through the device map and makes it ready to send.
    // index greater than 3, compared unsigned (so negatives too): returns false,
    // changes nothing (lastError EINVAL). Otherwise: opens read-write, O_NOCTTY |
    // O_NONBLOCK; takes exclusive use (flock LOCK_EX|LOCK_NB, then TIOCEXCL); discards
    // pending output; reads the settings; sets the baud rate, 8 data bits, no parity,
    // 1 stop bit, the output flow control of flowControl() (below) and switches
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
    // GetCommState, the four settings and flowControl() into the DCB, every other
    // field as read; SetCommState, read back and check (ERROR_NOT_SUPPORTED when
    // the driver kept other values); SetCommTimeouts (reads never wait, a write
    // call at most the message's budget). Errors are GetLastError values
    // (ERROR_INVALID_PARAMETER for a bad index or baud rate). No virtual COMs.
    bool open(int index, int baudRate);

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

    // The output flow control every later open sets; FlowControl::None until told.
    // None: no handshake at all, in either direction (IXON, IXOFF, IXANY and
    // CRTSCTS off). XonXoff: output stops on a received XOFF (IXON on, CRTSCTS off);
    // whether we send XOFF ourselves (IXOFF) and whether any byte restarts output
    // (IXANY) stay as the device had them. RtsCts: output stops while CTS is low
    // (CRTSCTS on, IXON off), IXOFF and IXANY as the device had them.
    void setFlowControl(FlowControl flow) { m_flow = flow; }
    FlowControl flowControl() const { return m_flow; }

    const DeviceMap& devices() const { return m_devices; }
    // The path behind COM<index+1> ("" for an index out of range).
    const std::string& devicePath(int index) const { return m_devices.path(index); }

  private:
    // The open device, as the platform holds it; null while closed.
    struct Device;

    void fail(SystemError error) {
        m_lastResult = false;
        m_lastError = error;
    }
    void succeed() {
        m_lastResult = true;
        m_lastError = SystemError{};
    }

    DeviceMap m_devices;
    FlowControl m_flow = FlowControl::None;
    int m_portIndex = -1;
    std::unique_ptr<Device> m_device;
    bool m_lastResult = false;
    SystemError m_lastError;
    WriteFailure m_writeFailure = WriteFailure::None;
};

}  // namespace chronvane

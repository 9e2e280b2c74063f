#pragma once

// src/serial: the serial line. Offers SerialPort (COM1 to COM4, opened
// exclusively at 8N1 and written within a budget per message), DeviceMap (which
// device each COM is), the wording of open failures, virtual ports
// (pseudo-terminals standing in for a line) and the raw listener setting the
// monitor reads with.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "core/byte_string.h"
#include "core/line_settings.h"
#include "core/system_error.h"
#include "device_map.h"
#include "port_failure.h"
#include "write_failure.h"

namespace chronvane {

// One serial device, COM1 to COM4, opened exclusively with a LineSettings and written one
// byte per call. Every outcome is also kept: lastResult() for the most recent
// device call and lastFailure() for the reason behind the most recent failure (the
// system's, or the port's own refusal of a device), so callers can tell the
// operator why (for example a user outside the dialout group). Never throws; never blocks for long (see write).
// This interface is the same on every platform, and so is what does not touch the
// device (serial_port.cpp): the argument checks, the outcomes kept, letting queued
// output settle before a close, dropping an earlier message still queued and
// sorting a write's failures. Each platform's implementation file
// (serial_port_<platform>.cpp) defines the device it holds and the device calls,
// behind the private hooks below, and says which system calls they are.
class SerialPort {
  public:
    explicit SerialPort(DeviceMap devices = DeviceMap{});
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens COM<index+1> through the device map and makes it ready to send.
    // index portCount or more, compared unsigned (so negatives too), or a line the
    // platform cannot set (see supports): returns false, changes nothing (lastError:
    // the system's code for an invalid argument). Otherwise: opens the device for
    // exclusive use, refused (busy) when another holder already claimed it so, even
    // where the system would let this process past that claim (root on Linux);
    // discards pending output; sets line's speed, data bits, parity, stop bits and
    // output flow control (see LineSettings), raw output and no echo or signal
    // characters from what the line receives, leaving every other setting as the
    // device had it; and reads the
    // settings back to check they took (a driver that kept other line settings or
    // another flow control fails the open). A virtual COM (see
    // DeviceMap::setVirtual) is opened through its pseudo-terminal, not by path.
    // Any failure: returns false, releases whatever it had opened, keeps the reason
    // in lastFailure(): the system's, or a refusal of a device that is no line to
    // send on (the pseudo-terminal multiplexer, the terminal this program runs in). portIndex() is index afterwards whatever the outcome.
    // A device still held is closed first.
    bool open(int index, const LineSettings& line);

    // Opens again, after the device went away, the device the last successful
    // open() held, as open() would with its index and line settings; without one, the
    // same as open(index, line). A path can be handed to another device
    // meanwhile (a /dev/pts number goes to the next pseudo-terminal made, another
    // user's): it is taken back only when it still names the same device (its
    // device number), or when it is a name meant to follow a replug: a symbolic
    // link (/dev/serial/by-id/..., or one the user made), which is followed to
    // whatever it now points to, or a USB adapter's ttyUSB/ttyACM node, which comes
    // back under the same name. A pseudo-terminal, by either kind of name, is
    // taken only when it has the owner ours had and nobody else has it open (as
    // far as this process can see; see othersHoldOpen). Otherwise returns false
    // and leaves the device alone (lastFailure: PortRefusal::NameTaken).
    // On Windows: open() again; a COM name always stands for the same port.
    bool reopen(int index, const LineSettings& line);

    // Releases the device if one is held; harmless when closed. Output still queued
    // gets about 100 ms to leave and is then dropped, so a line held off by flow
    // control cannot hold the caller. Exclusive use is given up even while another
    // process keeps the device open. POSIX: the termios settings open() found are
    // put back, and a fault that ends the process (a crash, abort) gives up
    // exclusive use too (Windows ends a dead process's sharing by itself).
    // portIndex() is -1 afterwards whatever the
    // outcome; a port whose open failed records the system's code for a port that
    // is not open.
    void close();

    // Sends every byte of bytes, one write call per byte, in order, never stopping
    // early. True only when every byte was taken (for an empty string: lastResult()
    // unchanged); false at once if the port is closed (lastError: not open,
    // lastWriteFailure Other). A time message must leave within its own second or not
    // at all: output of an earlier call that the driver still holds queued (flow
    // control holding the line) is discarded first, this message is still written,
    // and the call returns false with lastWriteFailure HeldUp (lastError: timed
    // out). A device that does not take bytes never holds the caller for more than
    // about 100 ms per message: a byte not taken in time fails as timed out,
    // HeldUp. When bytes fail for different reasons, the one that needs the most
    // (DeviceGone, then Other, then HeldUp) is kept. On a virtual COM, what no
    // reader has taken is thrown away first.
    bool write(const ByteString& bytes);
    // Does ahead of the next write what it would do before its first byte (a
    // virtual COM's unread bytes thrown away, an earlier message still queued
    // discarded and this one counted as held up), so that at the change of second
    // nothing is left but the write itself. Kept for the next write only; an open
    // or a close forgets it. Harmless on a closed port.
    void getReady();
    // Drops what getReady found: the write it was for is not the next one.
    void forgetReady() { m_ready.reset(); }
    // How long one message may hold the caller when the device stops taking bytes
    // (flow control held off, adapter pulled out), and how long close() lets queued
    // output leave. Well under the one-second period.
    static constexpr std::chrono::milliseconds writeBudget{100};

    bool isOpen() const { return m_device != nullptr; }
    int portIndex() const { return m_portIndex; }
    bool lastResult() const { return m_lastResult; }
    // The reason for the most recent failed call; no failure after a success.
    PortFailure lastFailure() const { return m_lastFailure; }
    // The system's part of it: no failure after a success or a refusal.
    SystemError lastError() const { return m_lastFailure.error; }
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

    // Per platform (serial_port_<platform>.cpp), for open, close and write:
    // The system's codes for an argument out of range, a port that is not open and
    // bytes not taken in time.
    static SystemError invalidArgument();
    static SystemError notOpen();
    static SystemError timedOut();
    // Whether open() can set line (the platform file says which speeds and framings).
    static bool supports(const LineSettings& line);
    // What a failure means for whoever acts on it (see WriteFailure): the codes
    // that say the device itself is gone, the time-outs, and Other for the rest.
    static WriteFailure classify(SystemError error);
    // open()'s device steps for COM<index+1> (index in range, line supported,
    // nothing held). Success: m_device holds the device, returns no failure.
    // Failure: releases whatever it had opened, returns the system's reason.
    // A device that is no line to send on: its refusal instead.
    PortFailure openDevice(int index, const LineSettings& line);
    // Lets queued output leave within writeBudget, then drops the rest (m_device
    // set), so that a line held off by flow control cannot hold close().
    void settleOutput();
    // What reopen() needs to know again of the device openDevice() just opened
    // (m_device set), kept until the next successful open. POSIX: its device
    // number and owner.
    void noteIdentity();
    // Whether the device behind COM<index+1>'s path may be taken back by reopen()
    // (see there): None, or NameTaken. Does not open it.
    PortRefusal checkIdentity(int index) const;
    // close()'s device steps (m_device set, output settled): gives up exclusive
    // use, releases the device.
    // Returns the system's reason when the release failed; the device is given up
    // either way and the caller drops m_device.
    SystemError releaseDevice();
    // What write() does before looking at the queue (m_device set); a failure ends
    // the write before any byte is offered (a virtual COM: throws away what no
    // reader has taken).
    SystemError prepareWrite();
    // Whether the driver still holds output of an earlier write (m_device set);
    // false when it cannot say (its writes will tell).
    bool outputQueued();
    // Drops that output (m_device set): no failure, or the system's reason.
    SystemError discardQueuedOutput();
    // Offers every byte of bytes in order, one call each, within writeBudget from
    // now (m_device set), adding every failure to failures and never stopping
    // early. A failure returned ends the write at once and counts instead of
    // failures (the device could not be made ready for the message at all).
    SystemError sendBytes(const ByteString& bytes, WriteFailures& failures);

    void fail(PortFailure failure) {
        m_lastResult = false;
        m_lastFailure = failure;
    }
    void succeed() {
        m_lastResult = true;
        m_lastFailure = PortFailure{};
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
    PortFailure m_lastFailure;
    WriteFailure m_writeFailure = WriteFailure::None;
    // What getReady found, for the next write.
    struct Readiness {
        SystemError error;
        WriteFailures failures;
    };
    std::optional<Readiness> m_ready;
    Readiness checkReadiness();
};

}  // namespace chronvane

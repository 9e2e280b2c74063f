#include "serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <iterator>
#include <mutex>

#include "core/deadline.h"
#include "core/retry_on_interrupt.h"
#include "line_holders.h"
#include "output_queue_posix.h"
#include "raw_line.h"
#include "virtual_port.h"

// The serial port on a POSIX tty. open(): open() read-write, O_NOCTTY | O_NONBLOCK;
// exclusive use by flock LOCK_EX|LOCK_NB, TIOCGEXCL (EBUSY when set and another
// descriptor holds the device), then TIOCEXCL; tcflush of pending output; termios
// read and kept, then the four line settings, the flow control (None: IXON, IXOFF,
// IXANY and CRTSCTS off; XonXoff: IXON on, CRTSCTS off; RtsCts: CRTSCTS on, IXON
// off), OPOST, ECHO, ECHONL and ISIG off; written back and read again (EINVAL when
// the line settings did not take, EOPNOTSUPP when the flow control did not: a
// driver without RTS/CTS drops CRTSCTS). close(): the termios kept at open written
// back, TIOCNXCL, close. A virtual COM's
// pseudo-terminal master is duplicated instead of opened by path, and gets no
// flock or TIOCEXCL: nobody else can open that end, and a lock would fall on the
// inode every pseudo-terminal master shares. The speeds are termios's, 1200 to
// 115200. The queue is TIOCOUTQ, dropped with tcflush TCOFLUSH. Codes: EINVAL,
// EBADF, ETIMEDOUT.

namespace chronvane {
namespace {

// What a Linux tty does on its own with received bytes that reaches the output: echo
// them back out of the line (ECHO, and ECHONL, which echoes a newline even without
// ECHO), so a receiver that talks back or noise on RX would land between our bytes;
// and flush queued output when one is an interrupt character (ISIG), cutting a
// message short. The rest of input processing (ICANON, IEXTEN, VMIN, VTIME) only
// shapes what a reader would get, and nothing reads here: it stays as the device
// had it, for whoever shares the line.
constexpr tcflag_t localBitsOff = ECHO | ECHONL | ISIG;

// The flow control bits the port decides. None: no handshake at all, in either
// direction (IXON, IXOFF, IXANY and CRTSCTS off). XonXoff: output stops on a
// received XOFF (IXON on, CRTSCTS off); whether we send XOFF ourselves (IXOFF) and
// whether any byte restarts output (IXANY) stay as the device had them. RtsCts:
// output stops while CTS is low (CRTSCTS on, IXON off), IXOFF and IXANY as the
// device had them.
constexpr tcflag_t softwareFlowBits = IXON | IXOFF | IXANY;

void applyFlowControl(termios& settings, FlowControl flow) {
    switch (flow) {
        case FlowControl::None:
            // Linux gives every tty IXON: one 0x13 from the equipment or from line
            // noise would stop the clock until a 0x11 happened to come.
            settings.c_iflag &= ~softwareFlowBits;
            settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
            break;
        case FlowControl::XonXoff:
            settings.c_iflag |= IXON;
            settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
            break;
        case FlowControl::RtsCts:
            settings.c_iflag &= ~static_cast<tcflag_t>(IXON);
            settings.c_cflag |= CRTSCTS;
            break;
    }
}

// The line's framing, raw output and no echo: a Linux tty by default
// turns 0x0A into 0x0D 0x0A (OPOST|ONLCR) and may turn 0x0D into 0x0A (OCRNL), and
// the 8-bit message carries both as plain values. Besides the flow control asked
// for, nothing else is touched: modem control and the special characters stay as
// the device had them. The line is known to be supported (SerialPort::supports).
void applyLineSettings(termios& settings, const LineSettings& line) {
    setLineFraming(settings, line);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~localBitsOff;
    applyFlowControl(settings, line.flow);
}

bool settingsTook(const termios& wanted, const termios& actual) {
    return lineFramingTook(wanted, actual) && (actual.c_oflag & OPOST) == 0 &&
           (actual.c_lflag & localBitsOff) == 0;
}

bool flowControlTook(const termios& wanted, const termios& actual) {
    return (actual.c_iflag & softwareFlowBits) == (wanted.c_iflag & softwareFlowBits) &&
           (actual.c_cflag & CRTSCTS) == (wanted.c_cflag & CRTSCTS);
}

int ttyQueuedBytes(int fd) {
    int queued = 0;
    return ioctl(fd, TIOCOUTQ, &queued) < 0 ? -1 : queued;
}

int ttyDiscard(int fd) {
    return tcflush(fd, TCOFLUSH);
}

// Devices that answer like a terminal but are no line to send on, with the reason
// given for refusing them (see PortRefusal): the pseudo-terminal multiplexer, which
// makes a new master end that nobody else can ever read, and the terminal this
// program runs in, under its own name or as /dev/tty, whose Ctrl+C raw mode would
// switch off.
PortRefusal notASerialLine(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
        return PortRefusal::None;
    }
    constexpr unsigned int ttyAuxMajor = 5;
    constexpr unsigned int ptmxMinor = 2;
    if (major(info.st_rdev) == ttyAuxMajor && minor(info.st_rdev) == ptmxMinor) {
        return PortRefusal::NewPseudoTerminalMaster;
    }
    const pid_t session = getsid(0);
    if (isatty(fd) && session > 0 && tcgetsid(fd) == session) {
        return PortRefusal::OwnTerminal;
    }
    return PortRefusal::None;
}

// A descriptor of every line held for exclusive use, for the fault handler below;
// -1 in a free slot. More slots than ports, for a program with a few SerialPorts.
constexpr int heldLineSlots = 8;
std::atomic<int> heldLines[heldLineSlots] = {-1, -1, -1, -1, -1, -1, -1, -1};
static_assert(std::atomic<int>::is_always_lock_free);

// Puts to into the first slot that holds from.
void replaceHeldLine(int from, int to) {
    for (std::atomic<int>& slot : heldLines) {
        int expected = from;
        if (slot.compare_exchange_strong(expected, to)) {
            return;
        }
    }
}

void noteHeldLine(int fd) { replaceHeldLine(-1, fd); }
void forgetHeldLine(int fd) { replaceHeldLine(fd, -1); }

// The faults of the program's own (and abort()) end it without its stop path, and
// the exclusive flag would outlive it wherever someone else keeps the device open (a
// pseudo-terminal's other end, a monitor on the line): every later open, a restarted
// instance's too, would be refused. The handler gives the flag up, a system call
// that is safe in any state, and lets the signal go on as before (a core dump), so
// the fault is not hidden.
constexpr int faultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT};
struct sigaction earlierFaultActions[std::size(faultSignals)];

void giveUpLinesOnFault(int signal, siginfo_t* info, void* /*context*/) {
    for (std::atomic<int>& slot : heldLines) {
        const int fd = slot.load();
        if (fd >= 0) {
            ioctl(fd, TIOCNXCL);
        }
    }
    for (std::size_t i = 0; i < std::size(faultSignals); ++i) {
        if (faultSignals[i] == signal) {
            sigaction(signal, &earlierFaultActions[i], nullptr);
        }
    }
    // A fault raised by an instruction comes again when the handler returns, now
    // to the earlier action; one that was sent (kill, abort's raise) would not, nor
    // a breakpoint trap (the instruction is past) or a system call a seccomp filter
    // trapped (it is skipped).
    if (info == nullptr || info->si_code <= 0 || signal == SIGTRAP || signal == SIGSYS) {
        raise(signal);
    }
}

void watchForFaultsOnce() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action {};
        action.sa_sigaction = giveUpLinesOnFault;
        // On the alternate stack where there is one (a sanitizer's), so that a
        // stack overflow still reaches the handler and the report after it.
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(faultSignals); ++i) {
            sigaction(faultSignals[i], &action, &earlierFaultActions[i]);
        }
    });
}

// The kernel names a USB serial adapter's node after its driver and the order
// the adapters came in; unplugged and plugged back, it comes back under that name
// with a new device number.
bool isReplugName(const std::string& path) {
    const std::string name = path.substr(path.rfind('/') + 1);
    return name.starts_with("ttyUSB") || name.starts_with("ttyACM");
}

}  // namespace

OutputQueueCalls& outputQueueCalls() {
    static OutputQueueCalls calls{ttyQueuedBytes, ttyDiscard};
    return calls;
}

struct SerialPort::Device {
    int fd;
    // Set for a virtual COM.
    std::shared_ptr<VirtualPort> virtualPort;
    // The settings the device had before the open changed them, put back at close.
    termios found;
};

void SerialPort::DeviceDeleter::operator()(Device* device) const {
    delete device;
}

SystemError SerialPort::invalidArgument() {
    return SystemError{EINVAL};
}

SystemError SerialPort::notOpen() {
    return SystemError{EBADF};
}

SystemError SerialPort::timedOut() {
    return SystemError{ETIMEDOUT};
}

bool SerialPort::supports(const LineSettings& line) {
    termios probe{};
    return setLineFraming(probe, line);
}

// Which failures a reopen can cure: those that say the device itself is gone.
WriteFailure SerialPort::classify(SystemError error) {
    switch (error.code) {
        case ETIMEDOUT:
            return WriteFailure::HeldUp;
        case EIO:
        case ENXIO:
        case ENODEV:
        case EBADF:
        case EPIPE:
            return WriteFailure::DeviceGone;
        default:
            return WriteFailure::Other;
    }
}

PortFailure SerialPort::openDevice(int index, const LineSettings& line) {
    // O_NOCTTY: the device must never become our controlling terminal.
    // O_NONBLOCK: a line without carrier detect must not block the open, and a
    // device that stops taking bytes must not block a write.
    // A virtual COM is already open: take a descriptor of its master end of our own,
    // so that closing the port leaves the pseudo-terminal (and its path) in place.
    const std::shared_ptr<VirtualPort>& virtualPort = m_devices.virtualPort(index);
    const std::string& path = m_devices.path(index);
    const int fd =
        virtualPort ? fcntl(virtualPort->masterFd(), F_DUPFD_CLOEXEC, 0) : retryOnInterrupt([&] {
            return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        });
    if (fd < 0) {
        return lastSystemError();
    }
    auto abandon = [&](PortFailure failure) {
        ::close(fd);
        return failure;
    };
    if (const PortRefusal refused = virtualPort ? PortRefusal::None : notASerialLine(fd);
        refused != PortRefusal::None) {
        return abandon(refused);
    }

    // Exclusive use: flock keeps out every cooperating program (root included),
    // TIOCEXCL keeps out any other open by an unprivileged process. A virtual port's
    // master end is ours alone already, and every master shares the inode of
    // /dev/ptmx, so a lock there would shut out every other pseudo-terminal user.
    if (!virtualPort && retryOnInterrupt([&] { return flock(fd, LOCK_EX | LOCK_NB); }) < 0) {
        const SystemError error = lastSystemError();
        return abandon(error.code == EWOULDBLOCK ? SystemError{EBUSY} : error);
    }
    if (!isatty(fd)) {
        return abandon(SystemError{ENOTTY});
    }
    // Only a privileged open gets past a line's exclusive flag. Set while another
    // descriptor has the line, it is that holder's claim. Set with nobody else on
    // the line, it was left by a holder that could not give it up (killed): it
    // guards nothing, and our own claim takes its place.
    if (!virtualPort) {
        int exclusive = 0;
        struct stat device {};
        if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0 &&
            (fstat(fd, &device) != 0 || othersHoldOpen(device, fd))) {
            return abandon(SystemError{EBUSY});
        }
    }
    if (!virtualPort && ioctl(fd, TIOCEXCL) < 0) {
        return abandon(lastSystemError());
    }
    // From here on a failure gives the claim up again: it would outlive the close
    // while anyone else has the device open.
    auto unclaimAndAbandon = [&](SystemError error) {
        if (!virtualPort) {
            ioctl(fd, TIOCNXCL);
        }
        return abandon(error);
    };
    // Output still queued from an earlier user of the device would reach the
    // receiver ahead of our first message.
    tcflush(fd, TCOFLUSH);

    termios found{};
    if (retryOnInterrupt([&] { return tcgetattr(fd, &found); }) < 0) {
        return unclaimAndAbandon(lastSystemError());
    }
    // And leaves the device as it was found.
    auto restoreAndAbandon = [&](SystemError error) {
        retryOnInterrupt([&] { return tcsetattr(fd, TCSANOW, &found); });
        return unclaimAndAbandon(error);
    };
    termios settings = found;
    applyLineSettings(settings, line);
    if (retryOnInterrupt([&] { return tcsetattr(fd, TCSANOW, &settings); }) < 0) {
        return restoreAndAbandon(lastSystemError());
    }
    // tcsetattr succeeds when any one change was applied; read back to be sure.
    termios actual{};
    if (retryOnInterrupt([&] { return tcgetattr(fd, &actual); }) < 0) {
        return restoreAndAbandon(lastSystemError());
    }
    if (!settingsTook(settings, actual)) {
        return restoreAndAbandon(SystemError{EINVAL});
    }
    if (!flowControlTook(settings, actual)) {
        return restoreAndAbandon(SystemError{EOPNOTSUPP});
    }

    m_device.reset(new Device{fd, virtualPort, found});
    if (!virtualPort) {
        watchForFaultsOnce();
        noteHeldLine(fd);
    }
    return PortFailure{};
}

void SerialPort::noteIdentity() {
    struct stat info {};
    if (m_device->virtualPort || fstat(m_device->fd, &info) != 0) {
        m_identity = Identity{};
        return;
    }
    m_identity = Identity{m_portIndex, info.st_rdev, info.st_uid};
}

PortRefusal SerialPort::checkIdentity(int index) const {
    const std::string& path = m_devices.path(index);
    struct stat name {};
    struct stat now {};
    // Gone altogether, or a link to nothing: the open will say so.
    if (lstat(path.c_str(), &name) != 0 || stat(path.c_str(), &now) != 0) {
        return PortRefusal::None;
    }
    if (!S_ISCHR(now.st_mode)) {
        return PortRefusal::NameTaken;
    }
    const bool sameDevice = now.st_rdev == m_identity.device;
    // A link is there to follow a replug, whatever it now points to, except to a
    // pseudo-terminal: those numbers are handed out again, to anyone.
    const bool followed = S_ISLNK(name.st_mode) || isReplugName(path);
    if (!isPseudoTerminalDevice(now.st_rdev)) {
        return sameDevice || followed ? PortRefusal::None : PortRefusal::NameTaken;
    }
    // Another user's terminal is theirs; one of our own user's that a program has
    // open (a shell in a new terminal window) is in use. A line made to stand in
    // for ours (the master end of it held, the device end free) is taken.
    const bool ours = (sameDevice || followed) && now.st_uid == m_identity.owner;
    return ours && !othersHoldOpen(now, -1) ? PortRefusal::None : PortRefusal::NameTaken;
}

SystemError SerialPort::releaseDevice() {
    const int fd = m_device->fd;
    // A line shared with other uses (a console, a modem) is left as it was found;
    // one that went away refuses, and there is nothing left to put back. The last
    // bytes may still be in the UART's FIFO or the adapter's buffer, which the
    // queue does not count, and another speed set at once would garble them: once
    // the queue is empty they are let go first, where nothing can hold them up (no
    // RTS/CTS; the kernel bounds that wait for a UART).
    int queued = -1;
    termios now{};
    const bool drained = ioctl(fd, TIOCOUTQ, &queued) == 0 && queued == 0;
    const bool heldByModemLine = tcgetattr(fd, &now) == 0 && (now.c_cflag & CRTSCTS) != 0;
    const int when = drained && !heldByModemLine ? TCSADRAIN : TCSANOW;
    retryOnInterrupt([&] { return tcsetattr(fd, when, &m_device->found); });
    // TIOCEXCL outlives our descriptor while anyone else holds the device open
    // (a getty, ModemManager), and would then shut out our own next open.
    if (!m_device->virtualPort) {
        ioctl(fd, TIOCNXCL);
        forgetHeldLine(fd);
    }
    // Closing releases the flock. A close interrupted by a signal has still
    // released the descriptor on Linux, so it is not retried.
    return ::close(fd) == 0 ? SystemError{} : lastSystemError();
}

SystemError SerialPort::prepareWrite() {
    // Nobody may be reading a virtual port: drop what was not taken, or the
    // pseudo-terminal's buffer would fill and every write after it fail.
    return m_device->virtualPort ? m_device->virtualPort->discardUnread() : SystemError{};
}

bool SerialPort::outputQueued() {
    // -1, a device that cannot say, counts as nothing queued.
    return outputQueueCalls().queuedBytes(m_device->fd) > 0;
}

SystemError SerialPort::discardQueuedOutput() {
    const int fd = m_device->fd;
    return retryOnInterrupt([&] { return outputQueueCalls().discard(fd); }) < 0 ? lastSystemError()
                                                                                : SystemError{};
}

SystemError SerialPort::sendBytes(const ByteString& bytes, WriteFailures& failures) {
    const int fd = m_device->fd;
    const Deadline deadline(writeBudget);
    for (const std::uint8_t byte : bytes) {
        for (;;) {
            const ssize_t written = retryOnInterrupt([&] { return ::write(fd, &byte, 1); });
            if (written == 1) {
                break;
            }
            if (written < 0 && errno != EAGAIN) {
                failures.add(lastSystemError());
                break;
            }
            // The device is not taking bytes right now: wait for it, within budget.
            const std::chrono::milliseconds left = deadline.left();
            if (left.count() <= 0) {
                failures.add(timedOut());
                break;
            }
            pollfd watch{fd, POLLOUT, 0};
            const int ready = poll(&watch, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno != EINTR) {
                failures.add(lastSystemError());
                break;
            }
            if (ready > 0 && (watch.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 &&
                (watch.revents & POLLOUT) == 0) {
                failures.add(SystemError{EIO});
                break;
            }
        }
    }
    return SystemError{};
}

}  // namespace chronvane

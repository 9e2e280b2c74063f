#include "serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

#include "core/retry_on_interrupt.h"
#include "output_queue_posix.h"
#include "virtual_port.h"

namespace chronvane {
namespace {

using SteadyClock = std::chrono::steady_clock;

// How long one message may hold the caller when the device stops taking bytes
// (flow control held off, adapter pulled out). Well under the one-second period.
constexpr std::chrono::milliseconds writeBudget{100};

speed_t speedFor(int baudRate) {
    switch (baudRate) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

// What a Linux tty does on its own that a serial port must not: echo received bytes
// back out of the line (ECHO, ECHONL), so a receiver that talks back or noise on RX
// would land between our bytes; flush queued output when a received byte is an
// interrupt character (ISIG), cutting a message short; and collect input in lines
// (ICANON, IEXTEN), which nobody reads here anyway.
constexpr tcflag_t localBitsOff = ECHO | ECHONL | ICANON | ISIG | IEXTEN;

// The flow control bits the port decides; see SerialPort::setFlowControl for what
// each choice leaves as the device had it.
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

// The four line settings, raw output and no local processing: a Linux tty by default
// turns 0x0A into 0x0D 0x0A (OPOST|ONLCR) and may turn 0x0D into 0x0A (OCRNL), and
// the 8-bit message carries both as plain values. Besides the flow control asked
// for, nothing else is touched: modem control and the special characters stay as
// the device had them.
void applyLineSettings(termios& settings, speed_t speed, FlowControl flow) {
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    settings.c_cflag = (settings.c_cflag & ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB)) | CS8;
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~localBitsOff;
    applyFlowControl(settings, flow);
}

bool settingsTook(const termios& wanted, const termios& actual) {
    const tcflag_t lineBits = CSIZE | PARENB | CSTOPB;
    return (actual.c_cflag & lineBits) == (wanted.c_cflag & lineBits) &&
           (actual.c_oflag & OPOST) == 0 && (actual.c_lflag & localBitsOff) == 0 &&
           cfgetospeed(&actual) == cfgetospeed(&wanted);
}

bool flowControlTook(const termios& wanted, const termios& actual) {
    return (actual.c_iflag & softwareFlowBits) == (wanted.c_iflag & softwareFlowBits) &&
           (actual.c_cflag & CRTSCTS) == (wanted.c_cflag & CRTSCTS);
}

// Which failures a reopen can cure: those that say the device itself is gone.
WriteFailure classify(SystemError error) {
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

int ttyQueuedBytes(int fd) {
    int queued = 0;
    return ioctl(fd, TIOCOUTQ, &queued) < 0 ? -1 : queued;
}

int ttyDiscard(int fd) {
    return tcflush(fd, TCOFLUSH);
}

// Lets what is queued leave within writeBudget (a 48-byte message takes 50 ms at
// 9600 baud), then drops the rest. A line held off by flow control would otherwise
// keep its bytes, and the kernel holds close() until they leave, up to 30 s
// (closing_wait), which would freeze the window.
void settleOutput(int fd) {
    const auto deadline = SteadyClock::now() + writeBudget;
    int queued = 0;
    while (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        if (SteadyClock::now() >= deadline) {
            tcflush(fd, TCOFLUSH);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds{2});
    }
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
        fail(SystemError{EINVAL});
        return false;
    }
    m_portIndex = index;
    const speed_t speed = speedFor(baudRate);
    if (speed == B0) {
        fail(SystemError{EINVAL});
        return false;
    }

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
        fail(lastSystemError());
        return false;
    }
    auto abandon = [&](SystemError error) {
        ::close(fd);
        fail(error);
        return false;
    };

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
    if (!virtualPort && ioctl(fd, TIOCEXCL) < 0) {
        return abandon(lastSystemError());
    }
    // Output still queued from an earlier user of the device would reach the
    // receiver ahead of our first message.
    tcflush(fd, TCOFLUSH);

    termios settings{};
    if (retryOnInterrupt([&] { return tcgetattr(fd, &settings); }) < 0) {
        return abandon(lastSystemError());
    }
    applyLineSettings(settings, speed, m_flow);
    if (retryOnInterrupt([&] { return tcsetattr(fd, TCSANOW, &settings); }) < 0) {
        return abandon(lastSystemError());
    }
    // tcsetattr succeeds when any one change was applied; read back to be sure.
    termios actual{};
    if (retryOnInterrupt([&] { return tcgetattr(fd, &actual); }) < 0) {
        return abandon(lastSystemError());
    }
    if (!settingsTook(settings, actual)) {
        return abandon(SystemError{EINVAL});
    }
    if (!flowControlTook(settings, actual)) {
        return abandon(SystemError{EOPNOTSUPP});
    }

    m_device = std::make_unique<Device>(Device{fd, virtualPort});
    succeed();
    return true;
}

void SerialPort::close() {
    if (m_portIndex == -1) {
        return;
    }
    if (m_device) {
        const int fd = m_device->fd;
        settleOutput(fd);
        // TIOCEXCL outlives our descriptor while anyone else holds the device open
        // (a getty, ModemManager), and would then shut out our own next open.
        if (!m_device->virtualPort) {
            ioctl(fd, TIOCNXCL);
        }
        // Closing releases the flock. A close interrupted by a signal has still
        // released the descriptor on Linux, so it is not retried.
        if (::close(fd) == 0) {
            succeed();
        } else {
            fail(lastSystemError());
        }
        m_device.reset();
    } else {
        fail(SystemError{EBADF});
    }
    m_portIndex = -1;
}

bool SerialPort::write(const ByteString& bytes) {
    if (m_portIndex == -1 || !m_device) {
        fail(SystemError{EBADF});
        m_writeFailure = WriteFailure::Other;
        return false;
    }
    if (bytes.empty()) {
        return m_lastResult;
    }
    // Nobody may be reading a virtual port: drop what was not taken, or the
    // pseudo-terminal's buffer would fill and every write after it fail.
    if (m_device->virtualPort) {
        if (const SystemError error = m_device->virtualPort->discardUnread(); error.failed()) {
            fail(error);
            m_writeFailure = classify(error);
            return false;
        }
    }
    const int fd = m_device->fd;
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
    // as held up. A device that cannot say (-1) is taken as having nothing queued;
    // its writes will tell.
    if (outputQueueCalls().queuedBytes(fd) > 0) {
        if (retryOnInterrupt([&] { return outputQueueCalls().discard(fd); }) < 0) {
            failed(lastSystemError());
        }
        failed(SystemError{ETIMEDOUT});
    }

    const auto deadline = SteadyClock::now() + writeBudget;
    for (const std::uint8_t byte : bytes) {
        for (;;) {
            const ssize_t written = retryOnInterrupt([&] { return ::write(fd, &byte, 1); });
            if (written == 1) {
                break;
            }
            if (written < 0 && errno != EAGAIN) {
                failed(lastSystemError());
                break;
            }
            // The device is not taking bytes right now: wait for it, within budget.
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - SteadyClock::now());
            if (left.count() <= 0) {
                failed(SystemError{ETIMEDOUT});
                break;
            }
            pollfd watch{fd, POLLOUT, 0};
            const int ready = poll(&watch, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno != EINTR) {
                failed(lastSystemError());
                break;
            }
            if (ready > 0 && (watch.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 &&
                (watch.revents & POLLOUT) == 0) {
                failed(SystemError{EIO});
                break;
            }
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

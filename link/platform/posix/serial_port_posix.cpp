// Serial port on POSIX: termios for speed and format, ioctl for the modem
// lines (or the kernel's own RS-485 direction control where the driver has
// it), tcdrain() for the end of a transmission, poll() for the wait of a
// read. A port is held exclusively while open.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/serial.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "link/platform/serial_port.h"

namespace dkq::platform {
namespace {

speed_t speedConstant(int baud) {
    switch (baud) {
        case 150:
            return B150;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 1800:
            return B1800;
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
        case 230400:
            return B230400;
        default:
            return B0;
    }
}

void setModemLine(int fd, int line, bool on) {
    // Pseudo-terminals have no modem lines (ENOTTY); that is fine.
    (void)ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

bool sameSettings(const termios& wanted, const termios& actual) {
    const tcflag_t formatBits = CSIZE | CSTOPB | PARENB;
    return (wanted.c_cflag & ~formatBits) == (actual.c_cflag & ~formatBits) &&
           wanted.c_iflag == actual.c_iflag && wanted.c_oflag == actual.c_oflag &&
           wanted.c_lflag == actual.c_lflag && cfgetospeed(&wanted) == cfgetospeed(&actual);
}

}  // namespace

SerialPort::~SerialPort() {
    close();
}

// Two programs on one line would take each other's answers: the port is
// locked (flock, which also binds root) and made exclusive (TIOCEXCL, which
// also binds programs that do not lock). Either refusal is EBUSY.
int SerialPort::open(const std::string& device) {
    close();
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return errno;
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd_);
        fd_ = -1;
        return error;
    }
    (void)ioctl(fd_, TIOCEXCL);  // not a terminal (ENOTTY): the lock still holds
    takeKernelDirection();
    return 0;
}

// The exclusive mode is given up by hand: a pseudo-terminal keeps it after
// the last close for as long as its other side is open.
void SerialPort::close() {
    if (fd_ >= 0) {
        releaseKernelDirection();
        (void)ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    fd_ = -1;
}

// A driver with RS-485 support (TIOCSRS485) raises RTS while it sends and
// drops it right after the last stop bit, better than any program can. Ports
// already set up for RS-485 (device tree, setserial) are taken as they are;
// others are switched for as long as the port is open. USB adapters and
// pseudo-terminals answer ENOTTY and RTS stays with setRts().
void SerialPort::takeKernelDirection() {
    kernelDirection_ = false;
    switchedOnRs485_ = false;
#ifdef TIOCSRS485
    serial_rs485 rs485{};
    if (ioctl(fd_, TIOCGRS485, &rs485) != 0) return;
    if (rs485.flags & SER_RS485_ENABLED) {
        kernelDirection_ = true;
        return;
    }
    rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    rs485.flags &= ~static_cast<__u32>(SER_RS485_RTS_AFTER_SEND | SER_RS485_RX_DURING_TX);
    rs485.delay_rts_before_send = 0;
    rs485.delay_rts_after_send = 0;
    kernelDirection_ = switchedOnRs485_ = ioctl(fd_, TIOCSRS485, &rs485) == 0;
#endif
}

void SerialPort::releaseKernelDirection() {
#ifdef TIOCSRS485
    serial_rs485 rs485{};
    if (switchedOnRs485_ && ioctl(fd_, TIOCGRS485, &rs485) == 0) {
        rs485.flags &= ~static_cast<__u32>(SER_RS485_ENABLED);
        (void)ioctl(fd_, TIOCSRS485, &rs485);
    }
#endif
    kernelDirection_ = false;
    switchedOnRs485_ = false;
}

bool SerialPort::isOpen() const {
    return fd_ >= 0;
}

PortSetupResult SerialPort::configure(int baud, int dataBits, int stopBits) {
    PortSetupResult result;
    termios settings{};
    if (fd_ < 0 || tcgetattr(fd_, &settings) != 0) result.stateRead = false;

    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~(CRTSCTS | PARENB | CSTOPB | CSIZE);
    settings.c_cflag |= dataBits == 7 ? CS7 : CS8;
    if (stopBits == 2) settings.c_cflag |= CSTOPB;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    const speed_t speed = speedConstant(baud);
    if (speed == B0) result.stateApplied = false;
    if (speed != B0) cfsetspeed(&settings, speed);

    if (fd_ < 0) {
        result.stateApplied = false;
        result.timeoutsApplied = false;
        return result;
    }
    if (tcsetattr(fd_, TCSANOW, &settings) != 0) {
        // A pty keeps 8 data bits whatever is asked and glibc may then report
        // EINVAL although everything else was applied: check what is in force.
        termios actual{};
        const bool applied =
            errno == EINVAL && tcgetattr(fd_, &actual) == 0 && sameSettings(settings, actual);
        if (!applied) result.stateApplied = false;
    }
    // Reads wait with poll(): there are no time-outs to set.
    return result;
}

void SerialPort::setRts(bool on) {
    if (fd_ >= 0 && !kernelDirection_) setModemLine(fd_, TIOCM_RTS, on);
}

void SerialPort::setDtr(bool on) {
    if (fd_ >= 0) setModemLine(fd_, TIOCM_DTR, on);
}

void SerialPort::purgeReceive() {
    if (fd_ >= 0) tcflush(fd_, TCIFLUSH);
}

int SerialPort::write(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) return EBADF;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

void SerialPort::waitSent() {
    if (fd_ < 0) return;
    while (tcdrain(fd_) != 0 && errno == EINTR) {
    }
}

int SerialPort::read(std::span<std::uint8_t> bytes, int timeoutMs) {
    if (fd_ < 0) return -1;
    if (timeoutMs > 0) {
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = poll(&pfd, 1, timeoutMs);
        if (ready < 0) return errno == EINTR ? 0 : -1;  // the caller's deadline goes on
        if (ready == 0) return 0;
    }
    ssize_t n;
    while ((n = ::read(fd_, bytes.data(), bytes.size())) < 0 && errno == EINTR) {
    }
    if (n > 0) return static_cast<int>(n);
    // VMIN and VTIME 0: a read finds nothing at once when nothing is there,
    // so nothing after poll() said readable is a hang-up (a pty whose other
    // side is gone).
    if (n == 0) return timeoutMs > 0 ? -1 : 0;
    return errno == EAGAIN ? 0 : -1;
}

std::string errorText(int systemError) {
    return std::strerror(systemError);
}

bool isPortBusy(int systemError) {
    return systemError == EBUSY;
}

std::string defaultComDeviceIn(const std::string& devFolder, int comPort) {
    std::string usb = devFolder + "/ttyUSB" + std::to_string(comPort - 1);
    std::error_code ignored;
    if (std::filesystem::exists(usb, ignored)) return usb;
    return devFolder + "/ttyS" + std::to_string(comPort - 1);
}

std::string defaultComDevice(int comPort) {
    return defaultComDeviceIn("/dev", comPort);
}

}  // namespace dkq::platform

// Serial port on POSIX: termios for speed and format, ioctl for the modem
// lines (or the kernel's own RS-485 direction control where the driver has
// it), tcdrain() for the end of a transmission, poll() with a deadline for
// reads.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/serial.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "link/platform/serial_port.h"

namespace dkq::platform {
namespace {

// Read time-out of the port: 900 ms plus 2 ms per requested character.
constexpr int kReadTimeoutConstantMs = 900;
constexpr int kReadTimeoutPerCharMs = 2;
// Start, data, parity and stop bits of a character in both framings used.
constexpr long kBitsPerCharacter = 10;
constexpr long kNanosPerSecond = 1'000'000'000;

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

long long steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void setModemLine(int fd, int line, bool on) {
    // Pseudo-terminals have no modem lines (ENOTTY); that is fine.
    (void)ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

// Sleeps while all but the last of `count` characters are on their way, but
// not past the deadline; poll() then reports the last one as it arrives and
// the rest of an answer is taken in one read.
void sleepForCharacters(size_t count, long long deadlineMs, long characterNanos) {
    if (count <= 1 || characterNanos == 0) return;
    const long long leftMs = deadlineMs - steadyMs();
    const long long nanos = std::min(static_cast<long long>(count - 1) * characterNanos,
                                     std::max(leftMs, 0LL) * 1'000'000);
    timespec pause{static_cast<time_t>(nanos / kNanosPerSecond),
                   static_cast<long>(nanos % kNanosPerSecond)};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
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

int SerialPort::open(const std::string& device) {
    close();
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return errno;
    takeKernelDirection();
    return 0;
}

void SerialPort::close() {
    if (fd_ >= 0) {
        releaseKernelDirection();
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
    characterNanos_ = speed == B0 ? 0 : kBitsPerCharacter * kNanosPerSecond / baud;

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
    // The read time-outs are kept by read() itself; nothing can fail here.
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
    if (fd_ < 0) return -1;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return done > 0 ? static_cast<int>(done) : -1;
        done += static_cast<size_t>(n);
    }
    return static_cast<int>(done);
}

void SerialPort::waitSent() {
    if (fd_ < 0) return;
    while (tcdrain(fd_) != 0 && errno == EINTR) {
    }
}

int SerialPort::read(std::span<std::uint8_t> bytes) {
    if (fd_ < 0) return 0;
    const long long deadline = steadyMs() + kReadTimeoutConstantMs +
                               kReadTimeoutPerCharMs * static_cast<long long>(bytes.size());
    size_t got = 0;
    while (got < bytes.size()) {
        const long long left = deadline - steadyMs();
        if (left <= 0) break;
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t n = ::read(fd_, bytes.data() + got, bytes.size() - got);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            // A pty whose other side is gone reports hang-up at once; wait out
            // the time-out as a silent line would, instead of spinning.
            if (pfd.revents & (POLLHUP | POLLERR)) {
                const long long rest = deadline - steadyMs();
                if (rest > 0) poll(nullptr, 0, static_cast<int>(rest));
            }
            break;
        }
        got += static_cast<size_t>(n);
        sleepForCharacters(bytes.size() - got, deadline, characterNanos_);
    }
    return static_cast<int>(got);
}

std::string errorText(int systemError) {
    return std::strerror(systemError);
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

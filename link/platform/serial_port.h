// A serial port as the link uses it: open by device name, program speed and
// character format, drive RTS/DTR, purge, write, and read what has arrived
// within a time-out.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace dkq::platform {

// Outcome of programming the port; each failed step is reported to the user
// by the link and the opening goes on.
struct PortSetupResult {
    bool stateRead = true;
    bool stateApplied = true;
    bool timeoutsApplied = true;
};

class SerialPort {
  public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // 0, or the system's error code (see errorText).
    int open(const std::string& device);
    void close();
    bool isOpen() const;

    // Parity none; binary; no flow control; RTS and DTR driven by hand.
    PortSetupResult configure(int baud, int dataBits, int stopBits);

    // Modem lines fail on pseudo-terminals; that is tolerated silently. When
    // the driver switches the RS-485 direction itself (Linux TIOCSRS485) RTS
    // is left to it.
    void setRts(bool on);
    void setDtr(bool on);

    void purgeReceive();
    // Writes all bytes: 0, or the system's error code.
    int write(std::span<const std::uint8_t> bytes);
    // Blocks without using the processor until the system has sent what was
    // written (tcdrain); returns at once where the system cannot tell.
    void waitSent();
    // Waits up to timeoutMs for a character (not at all for 0) and takes
    // what has arrived, at most bytes.size(): the count, 0 when nothing came,
    // -1 when the port failed or hung up.
    int read(std::span<std::uint8_t> bytes, int timeoutMs);

  private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    void takeKernelDirection();
    void releaseKernelDirection();

    int fd_ = -1;
    bool kernelDirection_ = false;  // the driver switches the RS-485 direction
    bool switchedOnRs485_ = false;  // ... because open() asked it to
#endif
};

// The system's words for one of its error codes (errno, GetLastError).
std::string errorText(int systemError);

// Whether open() was refused because another program holds the port: every
// port is held exclusively while open.
bool isPortBusy(int systemError);

// Device of COM port n when nothing else is configured: on Windows
// "\\.\COMn", elsewhere <devFolder>/ttyUSB(n-1) if present, else
// <devFolder>/ttyS(n-1). devFolder is /dev but where a test builds its own.
std::string defaultComDeviceIn(const std::string& devFolder, int comPort);
std::string defaultComDevice(int comPort);  // in /dev

}  // namespace dkq::platform

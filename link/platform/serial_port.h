// A serial port as the link uses it: open by device name, program speed and
// character format, drive RTS/DTR, purge, write, and read n characters within
// the port's time-out (900 ms + 2 ms per character).
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
    // Characters written, or -1.
    int write(std::span<const std::uint8_t> bytes);
    // Blocks without using the processor until the system has sent what was
    // written (tcdrain); returns at once where the system cannot tell.
    void waitSent();
    // Reads up to bytes.size() characters; returns when all arrived or after
    // 900 + 2 * bytes.size() ms, with the count read (0 on error). Once an
    // answer is coming in, it sleeps out the missing characters' time on the
    // wire instead of waking for every character.
    int read(std::span<std::uint8_t> bytes);

  private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    void takeKernelDirection();
    void releaseKernelDirection();

    int fd_ = -1;
    long characterNanos_ = 0;       // one character (10 bits) at the set speed
    bool kernelDirection_ = false;  // the driver switches the RS-485 direction
    bool switchedOnRs485_ = false;  // ... because open() asked it to
#endif
};

// The system's words for one of its error codes (errno, GetLastError).
std::string errorText(int systemError);

// Device of COM port n when nothing else is configured: on Windows
// "\\.\COMn", elsewhere <devFolder>/ttyUSB(n-1) if present, else
// <devFolder>/ttyS(n-1). devFolder is /dev but where a test builds its own.
std::string defaultComDeviceIn(const std::string& devFolder, int comPort);
std::string defaultComDevice(int comPort);  // in /dev

}  // namespace dkq::platform

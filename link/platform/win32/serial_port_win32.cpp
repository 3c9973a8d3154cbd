// Serial port on Win32: the port state, driver queues, time-outs and modem
// lines through the communications API.
#include <windows.h>

#include "link/platform/serial_port.h"

namespace dkq::platform {
namespace {

constexpr DWORD kQueueSize = 1024;

HANDLE asHandle(void* handle) { return static_cast<HANDLE>(handle); }

// Read time-outs that make ReadFile take what has arrived: at once, or
// as soon as a first character comes within timeoutMs.
COMMTIMEOUTS readTimeouts(int timeoutMs) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = timeoutMs > 0 ? MAXDWORD : 0;
    timeouts.ReadTotalTimeoutConstant = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 0;
    return timeouts;
}

}  // namespace

SerialPort::~SerialPort() { close(); }

int SerialPort::open(const std::string& device) {
    close();
    HANDLE handle = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
    handle_ = handle;
    SetupComm(handle, kQueueSize, kQueueSize);
    return 0;
}

void SerialPort::close() {
    if (handle_ != nullptr) CloseHandle(asHandle(handle_));
    handle_ = nullptr;
}

bool SerialPort::isOpen() const { return handle_ != nullptr; }

PortSetupResult SerialPort::configure(int baud, int dataBits, int stopBits) {
    PortSetupResult result;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(asHandle(handle_), &dcb)) result.stateRead = false;
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = static_cast<BYTE>(dataBits);
    dcb.StopBits = stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.Parity = NOPARITY;
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;  // RTS is driven by hand for RS-485
    dcb.EvtChar = 0;
    dcb.XonChar = 0;
    dcb.XoffChar = 0;
    dcb.XonLim = 0;
    dcb.XoffLim = 0;
    if (!SetCommState(asHandle(handle_), &dcb)) result.stateApplied = false;

    COMMTIMEOUTS timeouts = readTimeouts(0);  // each read sets its own wait; no write time-outs
    if (!SetCommTimeouts(asHandle(handle_), &timeouts)) result.timeoutsApplied = false;
    return result;
}

void SerialPort::setRts(bool on) { EscapeCommFunction(asHandle(handle_), on ? SETRTS : CLRRTS); }

void SerialPort::setDtr(bool on) { EscapeCommFunction(asHandle(handle_), on ? SETDTR : CLRDTR); }

void SerialPort::purgeReceive() { PurgeComm(asHandle(handle_), PURGE_RXCLEAR); }

int SerialPort::write(std::span<const std::uint8_t> bytes) {
    DWORD written = 0;
    if (!WriteFile(asHandle(handle_), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr))
        return static_cast<int>(GetLastError());
    return written == bytes.size() ? 0 : ERROR_WRITE_FAULT;
}

// WriteFile on a port opened without overlapping has handed the characters to
// the driver; the link sleeps out their time on the wire itself.
void SerialPort::waitSent() {}

int SerialPort::read(std::span<std::uint8_t> bytes, int timeoutMs) {
    COMMTIMEOUTS timeouts = readTimeouts(timeoutMs);
    DWORD got = 0;
    if (!SetCommTimeouts(asHandle(handle_), &timeouts) ||
        !ReadFile(asHandle(handle_), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
        return -1;
    return static_cast<int>(got);
}

std::string errorText(int systemError) {
    char text[256] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(systemError), 0, text, sizeof text, nullptr);
    std::string words(text, length);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.'))
        words.pop_back();
    return words.empty() ? "error " + std::to_string(systemError) : words;
}

// A COM port is opened without sharing: one another program holds is refused
// as access denied.
bool isPortBusy(int systemError) {
    return systemError == ERROR_ACCESS_DENIED || systemError == ERROR_SHARING_VIOLATION;
}

std::string defaultComDevice(int comPort) { return "\\\\.\\COM" + std::to_string(comPort); }

std::string defaultComDeviceIn(const std::string&, int comPort) { return defaultComDevice(comPort); }

}  // namespace dkq::platform

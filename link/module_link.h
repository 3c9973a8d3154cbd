// ModuleLink: the one way from a program to its DKQ-1 modules, over an RS-485
// bus behind a serial port or over TCP to a serial-to-Ethernet server.
//
// Settings are plain public fields that the program writes before open_com.
// Every operation returns an integer code (0 = success, see result_codes.h)
// and never throws. One object per program, used from one thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "link/modbus_ascii.h"
#include "link/result_codes.h"
#include "link/transport.h"

namespace dkq {

inline constexpr int AnswerTextSize = 4096;
inline constexpr int MaxAsciiCommandChars = 1007;
using modbus::MaxRegistersPerRead;
using modbus::MaxRegistersPerWrite;
using modbus::MaxTextPerWrite;

// Answer bytes of one exchange, the LRC byte included.
using AnswerFrame = std::array<std::uint8_t, 256>;
// Diagnostics block 1: firmware version, serial number (6 bytes), supply
// byte, logic supply byte, program memory checksum, EEPROM checksum.
using Diagn1Block = std::array<std::uint8_t, 11>;
using Diagn2Block = std::array<std::uint8_t, 30>;

// The frame that wakes the record memory: address 0, function 0x21, LRC DF.
inline constexpr std::string_view WakeUpLine = ":002100000000DF";

class ModuleLink {
  public:
    ModuleLink();
    virtual ~ModuleLink();
    ModuleLink(const ModuleLink&) = delete;
    ModuleLink& operator=(const ModuleLink&) = delete;

    // --- settings -------------------------------------------------------
    // Record memory mode (DKQ-Logger only): open_com sends the wake-up line
    // and runs the serial port at 115200 baud, and AsciiCommand works.
    bool RecordMemoryMode = false;
    // Host name, IPv4 or IPv6 address text; at most 1023 characters are used.
    std::string IpAddress;
    int TcpPort = 0;  // low 16 bits used
    int UseTcp = 0;   // nonzero: TCP, zero: serial port (read by open_com)
    int ConnectTimeoutMs = 0;
    int ReceiveTimeoutMs = 0;  // TCP: time for the start of an answer
    int LogEnabled = 0;        // nonzero: write dkq_comm.log
    // Nonzero: a serial port setting the port refuses (a speed it cannot run)
    // fails open_com with code 1 instead of a PortSetupMessage.
    int StrictPortSetup = 0;

    // Shows one of the three port-setup messages ("Getcommstate ERROR",
    // "Błąd ustawienia portu !", "Błąd wpisu timeouts !"). The program
    // installs a modal box; the link never shows anything itself.
    std::function<void(const std::string& message)> PortSetupMessage;
    // Device that COM port n opens. Defaults to platform::defaultComDevice.
    std::function<std::string(int comPort)> ComDevice;
    // When set, sees every frame sent and every answer received, as the
    // characters on the line (a text command and its raw answer too).
    std::function<void(bool sent, std::string_view characters)> FrameTrace;

    // --- state ------------------------------------------------------------
    std::array<std::uint8_t, AnswerTextSize> AnswerText{};  // answers of AsciiCommand
    int TimeoutCount = 0;  // exchanges in a row that received nothing
    int NetworkStarted = 0;
    double MicrosPerChar = 0.0;  // one character (10 bits) on the line, µs
    int BaudRate = 0;
    int Connected = 0;
    // The exception code of the last exchange's answer when the module
    // answered with a Modbus exception (function code with bit 7 set), else
    // 0. Such an exchange returns code 2, as any short answer does.
    int ExceptionCode = 0;
    // Why the last open_com failed, in English words for tools and logs (the
    // system's reason, "port busy", ...); empty after a success.
    std::string OpenFailure;

    // --- transport --------------------------------------------------------
    int InitNetwork(bool start);
    int open_com(int comPort, int baud);
    void close_com();
    int IsOpen() const { return Connected; }
    int SetupPort(int baud, bool asciiFraming);

    // --- one Modbus-ASCII exchange -----------------------------------------
    // expectedLen: answer bytes expected without the LRC on entry; 0 on any
    // failure, bytes decoded (LRC included) on success.
    int Transact(std::span<const std::uint8_t> request, AnswerFrame& answer, int& expectedLen);

    // --- register operations ----------------------------------------------
    int WriteCoil(int addr, int coil, bool on);
    int WriteRegister(int addr, int reg, int value);
    int ClearCounters(int addr, int mask);
    int ReadHoldingRegisters(int addr, int start, int count, std::span<std::int32_t> values);
    int ReadInputRegisters(int addr, int start, int count, std::span<std::int32_t> values);
    int ReadSignedRegisters(int addr, int start, int count, std::span<std::int32_t> values);
    int WriteRegisters(int addr, int start, int count, std::span<const std::int32_t> values);
    // Sends `length` characters of text (missing ones as 0x00).
    int WriteText(int addr, int start, int length, std::string_view text);
    int ReadDiagn1(int addr, int sub, Diagn1Block& block);
    int ReadDiagn2(int addr, int sub, Diagn2Block& block);

    // --- record memory text commands (RecordMemoryMode only) ---------------
    // Send the command and a carriage return; collect the answer. Return the
    // bytes received, 0 when nothing came, none was asked for, or on failure.
    int AsciiCommand(std::string_view command, int expectedLen);
    int AsciiCommandInto(std::string_view command, int expectedLen,
                         std::span<std::uint8_t> destination);

    // --- communication log ---------------------------------------------------
    void CommLog(std::string_view text);

  private:
    enum class ReadKind { Holding, Input, Signed };
    struct ReceivedText;

    int openTcp();
    int connectTo(const platform::PeerAddress& peer, int timeoutMs);
    int openSerial(int comPort, int baud);
    bool sendOnLine(std::span<const std::uint8_t> text);
    void trace(bool sent, std::span<const std::uint8_t> characters) const;
    int lineFailure(const platform::ReceiveResult& got);
    int receiveAnswer(ReceivedText& rx, int expectedChars, std::span<const std::uint8_t> request);
    int judgeAnswer(const ReceivedText& rx, int expectedBytes, AnswerFrame& answer,
                    int& expectedLen);
    int readRegisters(ReadKind kind, int addr, int start, int count,
                      std::span<std::int32_t> values);
    int writeAndCompareEcho(std::span<const std::uint8_t> request, int expectedLen, int echoBytes);
    int readDiagnostics(std::uint8_t function, int addr, int sub, std::span<std::uint8_t> block);
    int asciiExchange(std::string_view command, int expectedLen,
                      std::span<std::uint8_t> destination, bool clearAnswerText);

    TcpTransport tcp_{ReceiveTimeoutMs};
    SerialTransport serial_;
    Transport* line_ = &serial_;  // the kind open_com opened last
};

}  // namespace dkq

// Result codes of the module link. Every exchange returns a transaction code,
// open_com an open code; the programs map them to their own messages.
#pragma once

namespace dkq {

// Codes of Transact and of the register operations built on it.
namespace tx {
inline constexpr int Ok = 0;
inline constexpr int NoAnswer = 1;      // nothing received, 10 or fewer times in a row
inline constexpr int BadLength = 2;     // short answer, wrong header or echo
inline constexpr int PeerClosed = 3;    // TCP peer closed the connection
inline constexpr int ReceiveError = 4;  // recv failed
inline constexpr int SendFailed = 5;    // send failed
inline constexpr int NoFrameStart = 6;  // enough characters but no ':'
inline constexpr int LrcError = 7;      // digits not ended by a control character, or LRC wrong
inline constexpr int LineDead = 8;      // nothing received for the 11th time in a row or more
inline constexpr int NotOpen = 9;       // link not open
}  // namespace tx

// Codes of open_com (3 also of InitNetwork). ModuleLink::OpenFailure says why
// in words: the system's reason, "connection refused", a name not resolved.
namespace open {
inline constexpr int Ok = 0;
inline constexpr int PortFailed = 1;      // serial port could not be opened or set up
inline constexpr int ConnectTimeout = 2;  // no TCP connection: time-out, refused, unknown name
inline constexpr int NetworkFailed = 3;   // socket library did not start
inline constexpr int SocketFailed = 4;    // socket() failed
inline constexpr int IoctlFailed = 5;     // could not make the socket non-blocking
}  // namespace open

enum class CodeKind { Transaction, Open };

// Meaning of a code for log files, tools and diagnostics (English, stable).
const char* codeMeaning(CodeKind kind, int code);

// The name of a Modbus exception code as the Modbus application protocol
// gives it ("illegal data address"); "unknown exception" for the others.
const char* exceptionMeaning(int exception);

}  // namespace dkq

// What the upload sends, where and under which number: the settings file
// "web-monitor.dat", read once at start-up from the current folder. The
// program has no dialog for it.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "monitor/measurement.h"

namespace dkq {

inline constexpr const char* UploadSettingsFile = "web-monitor.dat";
inline constexpr const char* AnswerLogFile = "log_http.log";
// Where readings wait for the server with BUFFER=1.
inline constexpr const char* OutboxFile = "web-monitor.outbox";
// A line is read in pieces of at most this many characters.
inline constexpr std::size_t UploadLinePieceChars = 1023;
// The address field holds 511 characters, and "http://" with the address must
// fit 511 characters as well.
inline constexpr std::size_t MaxUrlWordChars = 511;
inline constexpr std::size_t MaxUploadAddressChars = 504;

struct UploadSettings {
    std::string address;   // without the scheme, lower case, completed; empty: no upload
    bool https = false;    // the address was given as "https://..."
    std::string token;     // TOKEN=: sent as "Authorization: Bearer <token>"
    std::string caFile;    // CAFILE=: the authorities an https server is checked
                           // against, a file in the working folder
    std::string caBundle;  // its PEM text; empty: the system's authorities
    int uid = 0;           // 0: no upload
    // Registers 1..20 (index 0..19): L1..L16, then C1..C4.
    std::array<bool, EntryCount> registers{};
    int logResponses = 0;         // non-zero: answers are appended to "log_http.log"
    int buffer = 0;               // non-zero: readings wait in the outbox until stored
    bool addressRefused = false;  // the address held a control byte: no upload

    bool active() const { return !address.empty() && uid != 0; }
    bool buffered() const { return active() && buffer != 0; }
};

// "Adres URL w pliku web-monitor.dat zawiera znak sterujący: ..."
std::string refusedAddressText();
// "Nie można odczytać pliku CAFILE=...: ..."
std::string unreadableCaFileText(const std::string& name);

// The file's text applied to fresh settings, the address completed. An
// address holding a control byte (a NUL among them) is refused.
UploadSettings parseUploadSettings(std::string_view fileText);
// Lower case, without "http://" or "https://", and ".../rec.php" appended
// unless the address names a ".php" itself; empty when the result does not
// fit its field with its scheme.
std::string completeAddress(std::string_view address);
// Reads the file, and the CAFILE= it names; false (and no upload) when it
// cannot be opened. A refused address, or a CAFILE= that is no readable file
// in the working folder (no upload then either), is reported on standard
// error and in the answer log at logPath.
bool loadUploadSettings(UploadSettings& settings, const std::string& path = UploadSettingsFile,
                        const std::string& logPath = AnswerLogFile);

}  // namespace dkq

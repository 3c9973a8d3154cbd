// DKQ-Logger's window fields: the connection choices and the download check
// boxes, taken from the edit fields with their range checks, and the values
// kept in the program's own registry key between runs.
#pragma once

#include <optional>
#include <string>

#include "forms/field_reader.h"
#include "settings/link_settings.h"

namespace dkq {

inline constexpr const char* LoggerKeyPath = "Software\\Veldmark\\DKQ-Logger";

struct LoggerFields {
    // The speed is the wake-up line's.
    LinkSettings link{.ipAddress = ProposedLinkIpAddress, .tcpPort = ProposedLinkTcpPort};
    bool readAsTemperatures = false;  // "Odczytaj jako temperatury"
    bool splitFiles = true;           // "Podział na mniejsze pliki"
    bool writeInvalid = false;        // "Zapisuj błęd. rekordy", not kept between runs
};

// The four edit fields as typed.
struct FieldTexts {
    std::string comPort;
    std::string speed;
    std::string ipAddress;
    std::string tcpPort;
};

// Field numbers in FieldProblem, in the order the fields are taken.
enum LoggerField : int { ComPortField, SpeedField, IpAddressField, TcpPortField };

FieldTexts fieldTexts(const LoggerFields& fields);
// Takes the edit fields in order into fields; the first one that is out of
// its range stops the taking and is returned, the ones before it are taken.
std::optional<FieldProblem> readFieldTexts(const FieldTexts& texts, LoggerFields& fields);

// Each value present in the key replaces its field; a missing key is created.
void loadLoggerSettings(LoggerFields& fields);
// Writes the kept values; false when the key cannot be opened or written.
bool saveLoggerSettings(const LoggerFields& fields);

}  // namespace dkq

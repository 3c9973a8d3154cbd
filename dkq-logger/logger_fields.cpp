#include "dkq-logger/logger_fields.h"

#include "settings/registry_key.h"
#include "settings/setting_values.h"

namespace dkq {
namespace {

constexpr ValueRange LoggerSpeedRange{1200, 256000};
constexpr std::size_t MaxIpAddressChars = MaxRegistryStringChars;

}  // namespace

FieldTexts fieldTexts(const LoggerFields& fields) {
    return {std::to_string(fields.link.comPort), std::to_string(fields.link.speed),
            fields.link.ipAddress, std::to_string(fields.link.tcpPort)};
}

std::optional<FieldProblem> readFieldTexts(const FieldTexts& texts, LoggerFields& fields) {
    FieldReader reader;
    const int comPort =
        reader.integer(ComPortField, texts.comPort, ComPortRange.low, ComPortRange.high);
    if (reader.ok()) fields.link.comPort = comPort;
    const int speed =
        reader.integer(SpeedField, texts.speed, LoggerSpeedRange.low, LoggerSpeedRange.high);
    if (reader.ok()) fields.link.speed = speed;
    std::string address = reader.text(IpAddressField, texts.ipAddress, MaxIpAddressChars);
    if (reader.ok()) fields.link.ipAddress = std::move(address);
    const int tcpPort =
        reader.integer(TcpPortField, texts.tcpPort, TcpPortRange.low, TcpPortRange.high);
    if (reader.ok()) fields.link.tcpPort = tcpPort;
    return reader.problem();
}

void loadLoggerSettings(LoggerFields& fields) {
    RegistryKey key;
    if (!key.Open(RegistryRoot::CurrentUser, LoggerKeyPath)) {
        key.CreateKey(RegistryRoot::CurrentUser, LoggerKeyPath);
        return;
    }
    // Each value is taken into the range of its field, so that every field
    // shown passes its own check when "Połącz" takes it.
    readLinkSettings(key, fields.link, LoggerSpeedRange);
    readFlag(key, "Read_Type", fields.readAsTemperatures);
    readFlag(key, "Divide_Files", fields.splitFiles);
}

bool saveLoggerSettings(const LoggerFields& fields) {
    RegistryKey key;
    if (!key.Open(RegistryRoot::CurrentUser, LoggerKeyPath)) return false;
    bool written = writeLinkSettings(key, fields.link);
    written &= key.WriteDword("Read_Type", fields.readAsTemperatures ? 1 : 0);
    written &= key.WriteDword("Divide_Files", fields.splitFiles ? 1 : 0);
    return written;
}

}  // namespace dkq

#include "dkq-logger/logger_fields.h"

#include <cstdint>

#include "settings/registry_key.h"
#include "settings/setting_values.h"

namespace dkq {
namespace {

constexpr int MaxComPort = 255;
constexpr int MinSpeed = 1200;
constexpr int MaxSpeed = 256000;
constexpr int MaxTcpPort = 65535;
constexpr std::size_t MaxIpAddressChars = MaxRegistryStringChars;

void readFlag(RegistryKey& key, const char* name, bool& value) {
    int stored = 0;
    if (readDwordInRange(key, name, stored, SwitchRange)) value = stored != 0;
}

}  // namespace

FieldTexts fieldTexts(const LoggerFields& fields) {
    return {std::to_string(fields.comPort), std::to_string(fields.speed), fields.ipAddress,
            std::to_string(fields.tcpPort)};
}

std::optional<FieldProblem> readFieldTexts(const FieldTexts& texts, LoggerFields& fields) {
    FieldReader reader;
    const int comPort = reader.integer(ComPortField, texts.comPort, 1, MaxComPort);
    if (reader.ok()) fields.comPort = comPort;
    const int speed = reader.integer(SpeedField, texts.speed, MinSpeed, MaxSpeed);
    if (reader.ok()) fields.speed = speed;
    std::string address = reader.text(IpAddressField, texts.ipAddress, MaxIpAddressChars);
    if (reader.ok()) fields.ipAddress = std::move(address);
    const int tcpPort = reader.integer(TcpPortField, texts.tcpPort, 0, MaxTcpPort);
    if (reader.ok()) fields.tcpPort = tcpPort;
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
    readDwordInRange(key, "ComPORT", fields.comPort, {1, MaxComPort});
    readDwordInRange(key, "Speed", fields.speed, {MinSpeed, MaxSpeed});
    readFlag(key, "Read_Type", fields.readAsTemperatures);
    readFlag(key, "Divide_Files", fields.splitFiles);
    readStringCut(key, "Adres_IP", fields.ipAddress, MaxIpAddressChars);
    readDwordInRange(key, "Port_TCP", fields.tcpPort, {0, MaxTcpPort});
    readFlag(key, "Polaczenie_TCP", fields.useTcp);
}

bool saveLoggerSettings(const LoggerFields& fields) {
    RegistryKey key;
    if (!key.Open(RegistryRoot::CurrentUser, LoggerKeyPath)) return false;
    const auto dword = [](int value) { return static_cast<std::uint32_t>(value); };
    bool written = key.WriteDword("ComPORT", dword(fields.comPort));
    written &= key.WriteDword("Speed", dword(fields.speed));
    written &= key.WriteDword("Read_Type", fields.readAsTemperatures ? 1 : 0);
    written &= key.WriteDword("Divide_Files", fields.splitFiles ? 1 : 0);
    written &= key.WriteString("Adres_IP", fields.ipAddress);
    written &= key.WriteDword("Polaczenie_TCP", fields.useTcp ? 1 : 0);
    written &= key.WriteDword("Port_TCP", dword(fields.tcpPort));
    return written;
}

}  // namespace dkq

#include "dkq-logger/logger_fields.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "common/registry_key.h"

namespace dkq {
namespace {

constexpr int MaxComPort = 255;
constexpr int MinSpeed = 1200;
constexpr int MaxSpeed = 256000;
constexpr int MaxTcpPort = 65535;
// The address is read into a buffer of 256 bytes, terminator included.
constexpr std::size_t IpAddressBufferSize = 256;
constexpr std::size_t MaxIpAddressChars = IpAddressBufferSize - 1;

void readInt(RegistryKey& key, const char* name, int& value) {
    std::uint32_t stored = 0;
    if (key.ReadDword(name, stored))
        value = static_cast<int>(std::min<std::uint32_t>(stored, INT_MAX));
}

void readFlag(RegistryKey& key, const char* name, bool& value) {
    std::uint32_t stored = 0;
    if (key.ReadDword(name, stored)) value = stored != 0;
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
    readInt(key, "ComPORT", fields.comPort);
    readInt(key, "Speed", fields.speed);
    readFlag(key, "Read_Type", fields.readAsTemperatures);
    readFlag(key, "Divide_Files", fields.splitFiles);
    std::string address;
    if (key.ReadString("Adres_IP", address, IpAddressBufferSize)) fields.ipAddress = address;
    readInt(key, "Port_TCP", fields.tcpPort);
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

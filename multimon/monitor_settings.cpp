#include "multimon/monitor_settings.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "common/plain_file.h"
#include "common/registry_key.h"
#include "common/text.h"
#include "common/text_file.h"

namespace dkq {
namespace {

constexpr const char* ConfigMagic = "DKQ-1-5";
constexpr const char* SavedDefaultFileName = "pomiary1.csv";
constexpr const char* LoadedDefaultFileName = "pomiar1.csv";
// Bytes of the stored strings, terminator included.
constexpr std::size_t FileNameBufferSize = 256;
constexpr std::size_t IpAddressBufferSize = 1024;
// A channel line's name starts after its third comma within this many characters.
constexpr std::size_t NameCommaWindow = 100;

// Lines of a configuration file, counted from 0.
constexpr std::size_t FirstChannelLine = 4;
constexpr std::size_t TcpModeLine = FirstChannelLine + std::size_t{ModuleCount * EntryCount};

const char* busAddressName(int module) {
    static const char* const names[ModuleCount] = {"BusAdr_A", "BusAdr_B", "BusAdr_C", "BusAdr_D",
                                                   "BusAdr_E"};
    return names[module];
}

void readInt(RegistryKey& key, const char* name, int& value) {
    std::uint32_t stored = 0;
    if (key.ReadDword(name, stored))
        value = static_cast<int>(std::min<std::uint32_t>(stored, INT_MAX));
}

std::string joinNumbers(std::initializer_list<int> numbers) {
    std::string text;
    for (const int number : numbers) {
        if (!text.empty()) text += ',';
        text += std::to_string(number);
    }
    return text;
}

std::string missingEntryName(int module, int entry) {
    return "Linia L" + std::to_string(entry + 1) + moduleLetter(module);
}

// Name of a channel line: what follows its third comma, when that comma lies
// within the first characters of the line; the line ends at a CR or LF.
std::string channelName(std::string line, int module, int entry) {
    if (const std::size_t end = line.find_first_of("\r\n"); end != std::string::npos)
        line.resize(end);
    const std::size_t window = limitChars(line, NameCommaWindow).size();
    std::size_t pos = 0;
    for (int comma = 0; comma < 3; ++comma) {
        pos = line.find(',', pos);
        if (pos == std::string::npos || pos >= window) return missingEntryName(module, entry);
        ++pos;
    }
    return limitChars(std::string_view(line).substr(pos), MaxChannelNameChars);
}

void applyChannelLine(const std::string& line, int module, int entry, ChannelConfig& channel) {
    const std::vector<int> numbers = scanIntList(line, 3);
    if (numbers.size() > 0) channel.kind = numbers[0];
    if (numbers.size() > 1) channel.min = numbers[1];
    if (numbers.size() > 2) channel.max = numbers[2];
    channel.name = channelName(line, module, entry);
}

void applyGeneralLine(const std::string& line, MonitorSettings& settings) {
    const std::vector<int> numbers = scanIntList(line, 8);
    const auto given = [&](std::size_t index) { return numbers.size() > index; };
    settings.splitFile = 0;
    if (given(0)) settings.comPort = numbers[0];
    if (given(1)) settings.speed = numbers[1];
    if (given(2)) settings.reservedValue = numbers[2];
    if (given(4)) settings.testOuts = numbers[4];
    if (given(5)) settings.setRecordPeriod(numbers[5]);
    if (given(6)) settings.splitFile = numbers[6];
}

void applyFirstNumber(const std::string& line, int& value) {
    const std::vector<int> numbers = scanIntList(line, 1);
    if (!numbers.empty()) value = numbers[0];
}

}  // namespace

int MonitorSettings::recordPeriod() const {
    return std::clamp(periodHours, 0, MaxPeriodHours) * 3600 +
           std::clamp(periodMinutes, 0, 59) * 60 + std::clamp(periodSeconds, 0, 59);
}

void MonitorSettings::setRecordPeriod(long long seconds) {
    const long long limited =
        std::clamp<long long>(seconds, 0, static_cast<long long>(MaxPeriodHours) * 3600 + 3599);
    periodHours = static_cast<int>(limited / 3600);
    periodMinutes = static_cast<int>(limited % 3600 / 60);
    periodSeconds = static_cast<int>(limited % 60);
}

void loadRegistrySettings(MonitorSettings& settings, ModuleTable& modules) {
    RegistryKey key;
    if (!key.Open(RegistryRoot::CurrentUser, MonitorKeyPath)) {
        key.CreateKey(RegistryRoot::CurrentUser, MonitorKeyPath);
        return;
    }
    readInt(key, "ComPORT", settings.comPort);
    readInt(key, "Speed", settings.speed);
    for (int module = 0; module < ModuleCount; ++module)
        readInt(key, busAddressName(module), modules[module].busAddress);
    readInt(key, "TestOuts", settings.testOuts);
    std::uint32_t period = 0;
    if (key.ReadDword("RecPeriod", period)) settings.setRecordPeriod(period);
    // A missing or oversized name leaves the field empty, as the bounded read does.
    key.ReadString("Fname", settings.fileName, FileNameBufferSize);
    std::string address;
    if (key.ReadString("Adres_IP", address, IpAddressBufferSize)) settings.ipAddress = address;
    readInt(key, "Port_TCP", settings.tcpPort);
    readInt(key, "Polaczenie_TCP", settings.useTcp);
    readInt(key, "Podzial_pliku", settings.splitFile);
}

bool saveRegistrySettings(const MonitorSettings& settings, const ModuleTable& modules) {
    RegistryKey key;
    if (!key.Open(RegistryRoot::CurrentUser, MonitorKeyPath)) return false;
    const auto dword = [](int value) { return static_cast<std::uint32_t>(value); };
    bool written = key.WriteDword("ComPORT", dword(settings.comPort));
    written &= key.WriteDword("Speed", dword(settings.speed));
    for (int module = 0; module < ModuleCount; ++module)
        written &= key.WriteDword(busAddressName(module), dword(modules[module].busAddress));
    written &= key.WriteDword("TestOuts", dword(settings.testOuts));
    written &= key.WriteDword("RecPeriod", dword(settings.recordPeriod()));
    written &= key.WriteString("Fname", settings.fileName);
    written &= key.WriteString("Adres_IP", settings.ipAddress);
    written &= key.WriteDword("Port_TCP", dword(settings.tcpPort));
    written &= key.WriteDword("Polaczenie_TCP", dword(settings.useTcp));
    written &= key.WriteDword("Podzial_pliku", dword(settings.splitFile));
    return written;
}

std::string configFileText(const MonitorSettings& settings, const ModuleTable& modules,
                           int tcpLatch) {
    std::string text = std::string(ConfigMagic) + "\n";
    text += joinNumbers({settings.comPort, settings.speed, settings.reservedValue, 0,
                         settings.testOuts, settings.recordPeriod(), settings.splitFile, 0}) +
            "\n";
    text += joinNumbers({modules[0].busAddress, modules[1].busAddress, modules[2].busAddress,
                         modules[3].busAddress, modules[4].busAddress}) +
            "\n";
    text +=
        (settings.fileName.empty() ? std::string(SavedDefaultFileName) : settings.fileName) + "\n";
    for (const ModuleSlot& slot : modules) {
        for (const ChannelConfig& channel : slot.channels)
            text +=
                joinNumbers({channel.kind, channel.min, channel.max}) + "," + channel.name + "\n";
    }
    text += std::to_string(settings.useTcp) + "\n";
    text += settings.ipAddress + "\n";
    text += std::to_string(settings.tcpPort) + "\n";
    text += std::to_string(tcpLatch) + "\n";
    return text;
}

bool applyConfigLines(const std::vector<std::string>& lines, MonitorSettings& settings,
                      ModuleTable& modules) {
    if (lines.empty() || firstWord(lines[0]) != ConfigMagic) return false;
    const auto present = [&](std::size_t index) { return index < lines.size(); };
    if (present(1)) applyGeneralLine(lines[1], settings);
    if (present(2)) {
        const std::vector<int> addresses = scanIntList(lines[2], ModuleCount);
        for (std::size_t module = 0; module < addresses.size(); ++module)
            modules[module].busAddress = addresses[module];
    }
    if (present(3)) {
        settings.fileName = limitChars(lines[3], MaxFileNameChars);
        if (settings.fileName.empty()) settings.fileName = LoadedDefaultFileName;
    }
    for (int module = 0; module < ModuleCount; ++module) {
        for (int entry = 0; entry < EntryCount; ++entry) {
            const auto index =
                FirstChannelLine + static_cast<std::size_t>(module * EntryCount + entry);
            ChannelConfig& channel = modules[module].channels[entry];
            if (present(index))
                applyChannelLine(lines[index], module, entry, channel);
            else
                channel.name = missingEntryName(module, entry);
        }
    }
    if (present(TcpModeLine)) applyFirstNumber(lines[TcpModeLine], settings.useTcp);
    if (present(TcpModeLine + 1)) settings.ipAddress = lines[TcpModeLine + 1];
    if (present(TcpModeLine + 2)) applyFirstNumber(lines[TcpModeLine + 2], settings.tcpPort);
    return true;
}

ConfigFileResult saveConfigFile(const std::string& path, MonitorSettings& settings,
                                const ModuleTable& modules, int tcpLatch) {
    if (!writeWholeFile(path, encodeTextFile(configFileText(settings, modules, tcpLatch))))
        return ConfigFileResult::WriteFailed;
    if (settings.fileName.empty()) settings.fileName = SavedDefaultFileName;
    return ConfigFileResult::Ok;
}

ConfigFileResult loadConfigFile(const std::string& path, MonitorSettings& settings,
                                ModuleTable& modules) {
    std::string bytes;
    if (!readWholeFile(path, bytes)) return ConfigFileResult::OpenFailed;
    return applyConfigLines(decodeTextLines(bytes), settings, modules)
               ? ConfigFileResult::Ok
               : ConfigFileResult::WrongFormat;
}

}  // namespace dkq

#include "multimon/monitor_settings.h"

#include <cstdint>

#include "common/text.h"
#include "common/text_file.h"
#include "settings/registry_key.h"

namespace dkq {
namespace {

constexpr const char* ConfigMagic = "DKQ-1-5";
constexpr const char* SavedDefaultFileName = "pomiary1.csv";
constexpr const char* LoadedDefaultFileName = "pomiar1.csv";

// Lines of a configuration file, counted from 0.
constexpr std::size_t FirstChannelLine = 4;
constexpr std::size_t TcpModeLine = FirstChannelLine + std::size_t{ModuleCount * EntryCount};

const char* busAddressName(int module) {
    static const char* const names[ModuleCount] = {"BusAdr_A", "BusAdr_B", "BusAdr_C", "BusAdr_D",
                                                   "BusAdr_E"};
    return names[module];
}

std::string missingEntryName(int module, int entry) {
    return "Linia L" + std::to_string(entry + 1) + moduleLetter(module);
}

void applyGeneralLine(const std::string& line, MonitorSettings& settings) {
    const std::vector<int> numbers = scanIntList(line, 8);
    settings.splitFile = false;
    applyNumber(numbers, 0, settings.comPort, ComPortRange);
    applyNumber(numbers, 1, settings.speed, SpeedRange);
    if (numbers.size() > 2) settings.reservedValue = numbers[2];
    applyFlag(numbers, 4, settings.testOuts);
    if (numbers.size() > 5) settings.setRecordPeriod(numbers[5]);
    applyFlag(numbers, 6, settings.splitFile);
}

void applyFirstNumber(const std::string& line, int& value, ValueRange range) {
    applyNumber(scanIntList(line, 1), 0, value, range);
}

}  // namespace

void loadMonitorSettings(MonitorSettings& settings, ModuleTable& modules) {
    RegistryKey key;
    if (!key.Open(RegistryRoot::CurrentUser, MonitorKeyPath)) {
        key.CreateKey(RegistryRoot::CurrentUser, MonitorKeyPath);
        return;
    }
    readLinkSettings(key, settings, SpeedRange);
    for (int module = 0; module < ModuleCount; ++module)
        readDwordInRange(key, busAddressName(module), modules[module].busAddress, BusAddressRange);
    readFlag(key, "TestOuts", settings.testOuts);
    std::uint32_t period = 0;
    if (key.ReadDword("RecPeriod", period)) settings.setRecordPeriod(period);
    // A missing name leaves the field empty.
    settings.fileName.clear();
    readCsvFileName(key, settings.fileName);
    readFlag(key, "Podzial_pliku", settings.splitFile);
}

bool saveMonitorSettings(const MonitorSettings& settings, const ModuleTable& modules) {
    RegistryKey key;
    if (!key.Open(RegistryRoot::CurrentUser, MonitorKeyPath)) return false;
    const auto dword = [](int value) { return static_cast<std::uint32_t>(value); };
    bool written = writeLinkSettings(key, settings);
    for (int module = 0; module < ModuleCount; ++module)
        written &= key.WriteDword(busAddressName(module), dword(modules[module].busAddress));
    written &= key.WriteDword("TestOuts", dword(settings.testOuts));
    written &= key.WriteDword("RecPeriod", dword(settings.recordPeriod()));
    written &= key.WriteString("Fname", settings.fileName);
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
        for (const ChannelConfig& channel : slot.channels) text += channelLine(channel) + "\n";
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
        for (std::size_t module = 0; module < ModuleCount; ++module)
            applyNumber(addresses, module, modules[module].busAddress, BusAddressRange);
    }
    if (present(3)) {
        // Only the file name: the recording stays in the working folder.
        settings.fileName = fileNameOf(limitChars(lines[3], MaxFileNameChars));
        if (settings.fileName.empty()) settings.fileName = LoadedDefaultFileName;
    }
    for (int module = 0; module < ModuleCount; ++module) {
        for (int entry = 0; entry < EntryCount; ++entry) {
            const auto index =
                FirstChannelLine + static_cast<std::size_t>(module * EntryCount + entry);
            ChannelConfig& channel = modules[module].channels[entry];
            if (present(index))
                applyChannelLine(lines[index], missingEntryName(module, entry), channel);
            else
                channel.name = missingEntryName(module, entry);
        }
    }
    if (present(TcpModeLine)) applyFlag(scanIntList(lines[TcpModeLine], 1), 0, settings.useTcp);
    if (present(TcpModeLine + 1))
        settings.ipAddress = limitChars(lines[TcpModeLine + 1], MaxIpAddressTextChars);
    if (present(TcpModeLine + 2))
        applyFirstNumber(lines[TcpModeLine + 2], settings.tcpPort, TcpPortRange);
    return true;
}

MonitorConfigResult saveMonitorConfigFile(const std::string& path, MonitorSettings& settings,
                                          const ModuleTable& modules, int tcpLatch) {
    const MonitorConfigResult result =
        writeMonitorConfigText(path, configFileText(settings, modules, tcpLatch));
    if (result == MonitorConfigResult::Ok && settings.fileName.empty())
        settings.fileName = SavedDefaultFileName;
    return result;
}

MonitorConfigResult loadMonitorConfigFile(const std::string& path, MonitorSettings& settings,
                                          ModuleTable& modules) {
    return readMonitorConfigLines(path, [&](const std::vector<std::string>& lines) {
        return applyConfigLines(lines, settings, modules);
    });
}

}  // namespace dkq

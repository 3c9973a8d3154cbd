#include "webmon/web_settings.h"

#include <algorithm>
#include <cstdint>

#include "common/registry_key.h"
#include "common/text.h"
#include "common/text_file.h"

namespace dkq {
namespace {

constexpr const char* ConfigMagic = "DKQ-1";
constexpr const char* DefaultFileName = "rejestr0.csv";
// Bytes of the stored strings, terminator included.
constexpr std::size_t RegistryStringSize = 256;
constexpr int MaxComPort = 255;
constexpr int MinSpeed = 150;
constexpr int MaxSpeed = 115200;
constexpr int MaxTcpPort = 65535;

std::string missingEntryName(int entry) {
    return "Linia L" + std::to_string(entry + 1);
}

int toSwitch(int value) {
    return value != 0 ? 1 : 0;
}

// Reads a file the way its format was defined: the settings lines as
// formatted input (blank lines skipped, one word or number each), the
// presentation lines whole.
class ConfigReader {
  public:
    explicit ConfigReader(const std::vector<std::string>& lines) : lines_(lines) {}

    // The next line that holds more than blanks; false at the end.
    bool nextWordLine(std::string& line) {
        while (next_ < lines_.size()) {
            line = lines_[next_++];
            if (!firstWord(line).empty()) return true;
        }
        return false;
    }
    bool nextLine(std::string& line) {
        if (next_ >= lines_.size()) return false;
        line = lines_[next_++];
        return true;
    }
    void readNumber(int& value) {
        std::string line;
        if (!nextWordLine(line)) return;
        const std::vector<int> numbers = scanIntList(line, 1);
        if (!numbers.empty()) value = numbers[0];
    }
    void readWord(std::string& value, std::size_t maxChars) {
        std::string line;
        if (nextWordLine(line)) value = limitChars(firstWord(line), maxChars);
    }

  private:
    const std::vector<std::string>& lines_;
    std::size_t next_ = 1;  // after the magic
};

void applyGeneralLine(const std::string& line, WebMonitorSettings& settings) {
    const std::vector<int> numbers = scanIntList(line, 8);
    int* const targets[] = {&settings.comPort, &settings.speed, &settings.echo,
                            &settings.busAddress, &settings.testOuts};
    for (std::size_t i = 0; i < numbers.size() && i < std::size(targets); ++i)
        *targets[i] = numbers[i];
    if (numbers.size() > 5) settings.setRecordPeriod(numbers[5]);
}

}  // namespace

ChannelTable defaultWebChannels() {
    return defaultChannels("");
}

void clampWebSettings(WebMonitorSettings& settings) {
    settings.comPort = std::clamp(settings.comPort, 1, MaxComPort);
    settings.speed = std::clamp(settings.speed, MinSpeed, MaxSpeed);
    settings.busAddress = std::clamp(settings.busAddress, 1, MaxBusAddress);
    settings.tcpPort = std::clamp(settings.tcpPort, 0, MaxTcpPort);
    settings.echo = toSwitch(settings.echo);
    settings.testOuts = toSwitch(settings.testOuts);
    settings.useTcp = toSwitch(settings.useTcp);
    settings.disconnectAfterReading = toSwitch(settings.disconnectAfterReading);
    settings.setRecordPeriod(settings.recordPeriod());
}

void loadWebRegistrySettings(WebMonitorSettings& settings) {
    RegistryKey key;
    if (!key.Open(RegistryRoot::CurrentUser, MonitorKeyPath)) {
        key.CreateKey(RegistryRoot::CurrentUser, MonitorKeyPath);
        return;
    }
    readRegistryInt(key, "ComPORT", settings.comPort);
    readRegistryInt(key, "Speed", settings.speed);
    readRegistryInt(key, "Echo", settings.echo);
    readRegistryInt(key, "BusAdr", settings.busAddress);
    readRegistryInt(key, "TestOuts", settings.testOuts);
    std::uint32_t period = 0;
    if (key.ReadDword("RecPeriod", period)) settings.setRecordPeriod(period);
    std::string text;
    if (key.ReadString("Fname", text, RegistryStringSize)) settings.fileName = text;
    if (key.ReadString("Adres_IP", text, RegistryStringSize)) settings.ipAddress = text;
    readRegistryInt(key, "Port_TCP", settings.tcpPort);
    readRegistryInt(key, "Polaczenie_TCP", settings.useTcp);
    readRegistryInt(key, "Rozlaczaj_po_odczytaniu", settings.disconnectAfterReading);
    clampWebSettings(settings);
}

bool saveWebRegistrySettings(const WebMonitorSettings& settings) {
    RegistryKey key;
    if (!key.Open(RegistryRoot::CurrentUser, MonitorKeyPath)) return false;
    const auto dword = [](int value) { return static_cast<std::uint32_t>(value); };
    bool written = key.WriteDword("ComPORT", dword(settings.comPort));
    written &= key.WriteDword("Speed", dword(settings.speed));
    written &= key.WriteDword("Echo", dword(settings.echo));
    written &= key.WriteDword("BusAdr", dword(settings.busAddress));
    written &= key.WriteDword("TestOuts", dword(settings.testOuts));
    written &= key.WriteDword("RecPeriod", dword(settings.recordPeriod()));
    written &= key.WriteString("Fname", limitChars(settings.fileName, MaxFileNameChars));
    written &= key.WriteDword("Port_TCP", dword(settings.tcpPort));
    written &= key.WriteString("Adres_IP", limitChars(settings.ipAddress, MaxFileNameChars));
    written &= key.WriteDword("Polaczenie_TCP", dword(settings.useTcp));
    written &= key.WriteDword("Rozlaczaj_po_odczytaniu", dword(settings.disconnectAfterReading));
    return written;
}

std::string webConfigFileText(const WebMonitorSettings& settings, const ChannelTable& channels) {
    std::string text = std::string(ConfigMagic) + "\n";
    text += joinNumbers({settings.comPort, settings.speed, settings.echo, settings.busAddress,
                         settings.testOuts, settings.recordPeriod(), 0, 0}) +
            "\n";
    text += (settings.fileName.empty() ? std::string(DefaultFileName) : settings.fileName) + "\n";
    for (const ChannelConfig& channel : channels) text += channelLine(channel) + "\n";
    text += std::to_string(settings.useTcp) + "\n";
    text += settings.ipAddress + "\n";
    text += std::to_string(settings.tcpPort) + "\n";
    text += std::to_string(settings.disconnectAfterReading) + "\n";
    return text;
}

bool applyWebConfigLines(const std::vector<std::string>& lines, WebMonitorSettings& settings,
                         ChannelTable& channels) {
    if (lines.empty() || firstWord(lines[0]) != ConfigMagic) return false;
    ConfigReader reader(lines);
    std::string line;
    if (reader.nextWordLine(line)) applyGeneralLine(line, settings);
    reader.readWord(settings.fileName, MaxFileNameChars);
    // Entry lines missing at the end keep their values but get the name of a
    // line without one.
    for (int entry = 0; entry < EntryCount; ++entry) {
        if (reader.nextLine(line))
            applyChannelLine(line, missingEntryName(entry), channels[entry]);
        else
            channels[entry].name = missingEntryName(entry);
    }
    reader.readNumber(settings.useTcp);
    reader.readWord(settings.ipAddress, MaxFileNameChars);
    reader.readNumber(settings.tcpPort);
    reader.readNumber(settings.disconnectAfterReading);
    clampWebSettings(settings);
    return true;
}

WebConfigResult saveWebConfigFile(const std::string& path, WebMonitorSettings& settings,
                                  const ChannelTable& channels) {
    if (settings.fileName.empty()) settings.fileName = DefaultFileName;
    if (!writeWholeFile(path, encodeTextFile(webConfigFileText(settings, channels))))
        return WebConfigResult::WriteFailed;
    return WebConfigResult::Ok;
}

WebConfigResult loadWebConfigFile(const std::string& path, WebMonitorSettings& settings,
                                  ChannelTable& channels) {
    std::string bytes;
    if (!readWholeFile(path, bytes)) return WebConfigResult::OpenFailed;
    return applyWebConfigLines(decodeTextLines(bytes), settings, channels)
               ? WebConfigResult::Ok
               : WebConfigResult::WrongFormat;
}

}  // namespace dkq

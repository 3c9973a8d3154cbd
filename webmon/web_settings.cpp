#include "webmon/web_settings.h"

#include <cstdint>

#include "common/text.h"
#include "common/text_file.h"
#include "settings/registry_key.h"

namespace dkq {
namespace {

constexpr const char* ConfigMagic = "DKQ-1";
constexpr const char* DefaultFileName = "rejestr0.csv";
// webmon's one module is always polled.
constexpr ValueRange WebBusAddressRange{1, BusAddressRange.high};

std::string missingEntryName(int entry) {
    return "Linia L" + std::to_string(entry + 1);
}

// Reads a file the way it is written: the general line and the CSV name as
// formatted input (blank lines before them skipped), then every line at its
// place: the presentation lines whole, the connection lines one word or
// number each, so that an empty address (TCP off) stays empty instead of
// taking the next line's value.
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
    void readNumberLine(int& value, ValueRange range) {
        std::string line;
        if (nextLine(line)) applyNumber(scanIntList(line, 1), 0, value, range);
    }
    void readFlagLine(bool& value) {
        std::string line;
        if (nextLine(line)) applyFlag(scanIntList(line, 1), 0, value);
    }
    void readWordLine(std::string& value, std::size_t maxChars) {
        std::string line;
        if (nextLine(line)) value = limitChars(firstWord(line), maxChars);
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
    applyNumber(numbers, 0, settings.comPort, ComPortRange);
    applyNumber(numbers, 1, settings.speed, SpeedRange);
    applyFlag(numbers, 2, settings.echo);
    applyNumber(numbers, 3, settings.busAddress, WebBusAddressRange);
    applyFlag(numbers, 4, settings.testOuts);
    if (numbers.size() > 5) settings.setRecordPeriod(numbers[5]);
}

}  // namespace

ChannelTable defaultWebChannels() {
    return defaultChannels("");
}

void loadWebMonitorSettings(WebMonitorSettings& settings) {
    RegistryKey key;
    if (!key.Open(RegistryRoot::CurrentUser, MonitorKeyPath)) {
        key.CreateKey(RegistryRoot::CurrentUser, MonitorKeyPath);
        return;
    }
    readLinkSettings(key, settings, SpeedRange);
    readFlag(key, "Echo", settings.echo);
    readDwordInRange(key, "BusAdr", settings.busAddress, WebBusAddressRange);
    readFlag(key, "TestOuts", settings.testOuts);
    std::uint32_t period = 0;
    if (key.ReadDword("RecPeriod", period)) settings.setRecordPeriod(period);
    readCsvFileName(key, settings.fileName);
    readFlag(key, "Rozlaczaj_po_odczytaniu", settings.disconnectAfterReading);
}

bool saveWebMonitorSettings(const WebMonitorSettings& settings) {
    RegistryKey key;
    if (!key.Open(RegistryRoot::CurrentUser, MonitorKeyPath)) return false;
    const auto dword = [](int value) { return static_cast<std::uint32_t>(value); };
    bool written = writeLinkSettings(key, settings);
    written &= key.WriteDword("Echo", dword(settings.echo));
    written &= key.WriteDword("BusAdr", dword(settings.busAddress));
    written &= key.WriteDword("TestOuts", dword(settings.testOuts));
    written &= key.WriteDword("RecPeriod", dword(settings.recordPeriod()));
    written &= key.WriteString("Fname", limitChars(settings.fileName, MaxFileNameChars));
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
    settings.fileName = fileNameOf(settings.fileName);  // recorded in the working folder
    // Entry lines missing at the end keep their values but get the name of a
    // line without one.
    for (int entry = 0; entry < EntryCount; ++entry) {
        if (reader.nextLine(line))
            applyChannelLine(line, missingEntryName(entry), channels[entry]);
        else
            channels[entry].name = missingEntryName(entry);
    }
    reader.readFlagLine(settings.useTcp);
    reader.readWordLine(settings.ipAddress, MaxIpAddressTextChars);
    reader.readNumberLine(settings.tcpPort, TcpPortRange);
    reader.readFlagLine(settings.disconnectAfterReading);
    return true;
}

MonitorConfigResult saveWebConfigFile(const std::string& path, WebMonitorSettings& settings,
                                      const ChannelTable& channels) {
    if (settings.fileName.empty()) settings.fileName = DefaultFileName;
    return writeMonitorConfigText(path, webConfigFileText(settings, channels));
}

MonitorConfigResult loadWebConfigFile(const std::string& path, WebMonitorSettings& settings,
                                      ChannelTable& channels) {
    return readMonitorConfigLines(path, [&](const std::vector<std::string>& lines) {
        return applyWebConfigLines(lines, settings, channels);
    });
}

}  // namespace dkq

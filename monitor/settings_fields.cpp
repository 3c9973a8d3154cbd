#include "monitor/settings_fields.h"

#include <algorithm>

#include "common/plain_file.h"
#include "common/text.h"
#include "common/text_file.h"
#include "link/result_codes.h"

namespace dkq {
namespace {

// A channel line's name starts after its third comma within this many characters.
constexpr std::size_t NameCommaWindow = 100;

// Name of a channel line: what follows its third comma, when that comma lies
// within the first characters of the line; the line ends at a CR or LF.
std::string channelName(std::string line, const std::string& missingName) {
    if (const std::size_t end = line.find_first_of("\r\n"); end != std::string::npos)
        line.resize(end);
    const std::size_t window = limitChars(line, NameCommaWindow).size();
    std::size_t pos = 0;
    for (int comma = 0; comma < 3; ++comma) {
        pos = line.find(',', pos);
        if (pos == std::string::npos || pos >= window) return missingName;
        ++pos;
    }
    return limitChars(std::string_view(line).substr(pos), MaxChannelNameChars);
}

}  // namespace

int RecordPeriodFields::recordPeriod() const {
    return std::clamp(periodHours, 0, MaxPeriodHours) * 3600 +
           std::clamp(periodMinutes, 0, 59) * 60 + std::clamp(periodSeconds, 0, 59);
}

void RecordPeriodFields::setRecordPeriod(long long seconds) {
    const long long limited =
        std::clamp<long long>(seconds, 0, static_cast<long long>(MaxPeriodHours) * 3600 + 3599);
    periodHours = static_cast<int>(limited / 3600);
    periodMinutes = static_cast<int>(limited % 3600 / 60);
    periodSeconds = static_cast<int>(limited % 60);
}

void applyNumber(const std::vector<int>& numbers, std::size_t index, int& value, ValueRange range) {
    if (index < numbers.size()) value = takeInRange(numbers[index], range);
}

void applyFlag(const std::vector<int>& numbers, std::size_t index, bool& value) {
    if (index < numbers.size()) value = numbers[index] > 0;
}

std::string joinNumbers(std::initializer_list<int> numbers) {
    std::string text;
    for (const int number : numbers) {
        if (!text.empty()) text += ',';
        text += std::to_string(number);
    }
    return text;
}

void applyChannelLine(const std::string& line, const std::string& missingName,
                      ChannelConfig& channel) {
    const std::vector<int> numbers = scanIntList(line, 3);
    if (!numbers.empty()) channel.kind = numbers[0];
    applyNumber(numbers, 1, channel.min, RawValueRange);
    applyNumber(numbers, 2, channel.max, RawValueRange);
    channel.name = channelName(line, missingName);
}

std::string channelLine(const ChannelConfig& channel) {
    return joinNumbers({channel.kind, channel.min, channel.max}) + "," + channel.name;
}

std::string openFailureText(int code, const LinkSettings& link) {
    if (!link.useTcp) return "Błąd otwarcia portu COM" + std::to_string(link.comPort) + " !";
    switch (code) {
        case open::ConnectTimeout:
            return "Błąd połączenia w sieci !\nAdres IP (" + link.ipAddress + ":" +
                   std::to_string(link.tcpPort) + ") nie odpowiada.";
        case open::NetworkFailed:
            return "Błąd inicjacji biblioteki WinSock";
        case open::SocketFailed:
            return "Błąd tworzenia socketa";
        case open::IoctlFailed:
            return "Błąd funkcji ioctlsocket()";
        default:
            return "Błąd (" + std::to_string(code) + ") połączenia TCP/IP";
    }
}

void readCsvFileName(RegistryKey& key, std::string& fileName) {
    if (readStringCut(key, "Fname", fileName, MaxFileNameChars)) fileName = fileNameOf(fileName);
}

MonitorConfigResult writeMonitorConfigText(const std::string& path, const std::string& text) {
    return writeWholeFile(path, encodeTextFile(text)) ? MonitorConfigResult::Ok
                                                      : MonitorConfigResult::WriteFailed;
}

MonitorConfigResult readMonitorConfigLines(
    const std::string& path, const std::function<bool(const std::vector<std::string>&)>& apply) {
    std::string bytes;
    if (readWholeFile(path, bytes, MaxTextFileBytes) != FileRead::Ok)
        return MonitorConfigResult::OpenFailed;
    return apply(decodeTextLines(bytes)) ? MonitorConfigResult::Ok
                                         : MonitorConfigResult::WrongFormat;
}

}  // namespace dkq

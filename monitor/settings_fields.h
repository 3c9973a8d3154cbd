// Pieces of the settings both monitors keep: the link values' speed range, the record
// period fields, registry numbers taken into their ranges, and the
// presentation lines of configuration files.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "monitor/measurement.h"
#include "settings/link_settings.h"
#include "settings/registry_key.h"
#include "settings/setting_values.h"

namespace dkq {

inline constexpr const char* MonitorKeyPath = "Software\\Veldmark\\DKQ-1";
inline constexpr int MaxPeriodHours = 100000;
inline constexpr std::size_t MaxFileNameChars = 255;
inline constexpr std::size_t MaxIpAddressTextChars = MaxRegistryStringChars;

// What each value may hold; values from files and the registry are taken
// into these ranges as they are read.
inline constexpr ValueRange SpeedRange{150, 115200};
inline constexpr ValueRange RawValueRange{0, 65535};  // a line's or counter's min and max

// "Okres zapisu pomiarów": hours 0..100000, minutes and seconds 0..59.
struct RecordPeriodFields {
    int periodHours = 0;
    int periodMinutes = 0;
    int periodSeconds = 0;

    // Seconds between records, each field taken within its range.
    int recordPeriod() const;
    // Splits seconds (taken within the fields' ranges) into the three fields.
    void setRecordPeriod(long long seconds);
};

// Number `index` of a line, taken into range, when the line has it.
void applyNumber(const std::vector<int>& numbers, std::size_t index, int& value, ValueRange range);

// Number `index` of a line as a yes/no value (above 0: yes), when the line has it.
void applyFlag(const std::vector<int>& numbers, std::size_t index, bool& value);

// "a,b,c" of the numbers.
std::string joinNumbers(std::initializer_list<int> numbers);

// One presentation line "kind,min,max,name": numbers that do not parse keep
// their values, min and max are taken into 0..65535; the name follows the third comma within the
// first 100 characters, else it becomes missingName; names are cut at 15 characters.
void applyChannelLine(const std::string& line, const std::string& missingName,
                      ChannelConfig& channel);
// The line as a configuration file stores it.
std::string channelLine(const ChannelConfig& channel);

enum class MonitorConfigResult { Ok, OpenFailed, WrongFormat, WriteFailed };

// A monitor's configuration file text (UTF-8, "\n" line ends) written whole
// in the code page and line ends of the suite's text files.
MonitorConfigResult writeMonitorConfigText(const std::string& path, const std::string& text);
// A monitor's configuration file read as lines and handed to apply, which
// answers whether they are the program's own format (WrongFormat if not).
MonitorConfigResult readMonitorConfigLines(
    const std::string& path, const std::function<bool(const std::vector<std::string>&)>& apply);

// The CSV file name stored as "Fname", cut to the file name as a name from a
// configuration file is: the recording stays in the working folder whatever
// the store holds. Unchanged when none is stored.
void readCsvFileName(RegistryKey& key, std::string& fileName);

// The message of a failed open_com (serial port or TCP connection).
std::string openFailureText(int code, const LinkSettings& link);

}  // namespace dkq

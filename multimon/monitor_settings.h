// multimon's settings: communication and recording values kept in the shared
// registry key, and configuration files "DKQ-1-5" that also carry the
// presentation tables of all five modules.
#pragma once

#include <string>
#include <vector>

#include "common/setting_values.h"
#include "multimon/module_table.h"

namespace dkq {

inline constexpr const char* MonitorKeyPath = "Software\\Veldmark\\DKQ-1";
inline constexpr int MaxPeriodHours = 100000;
inline constexpr std::size_t MaxFileNameChars = 255;
inline constexpr std::size_t MaxIpAddressTextChars = MaxRegistryStringChars;

// What each value may hold; values from files and the registry are taken
// into these ranges as they are read.
inline constexpr ValueRange ComPortRange{1, 255};
inline constexpr ValueRange SpeedRange{150, 115200};
inline constexpr ValueRange TcpPortRange{0, 65535};
inline constexpr ValueRange BusAddressRange{0, 31};   // 0: the module is switched off
inline constexpr ValueRange RawValueRange{0, 65535};  // a line's or counter's min and max

struct MonitorSettings {
    int comPort = 1;
    int speed = 9600;
    int reservedValue = 0;  // carried through configuration files unchanged
    int testOuts = 1;       // "Pomiary linii wyjściowych": read output voltages and supplies
    int periodHours = 0;    // "Okres zapisu pomiarów"
    int periodMinutes = 0;
    int periodSeconds = 0;
    std::string fileName = "pomiary.csv";
    int splitFile = 0;  // "Podział pliku na części"
    int useTcp = 0;
    std::string ipAddress;
    int tcpPort = 0;

    // Seconds between records, each field taken within its range.
    int recordPeriod() const;
    // Splits seconds (taken within the fields' ranges) into the three fields.
    void setRecordPeriod(long long seconds);
};

// Reads the values present in the key; creates the key when it is missing.
void loadRegistrySettings(MonitorSettings& settings, ModuleTable& modules);
// Writes every value; false when the key cannot be opened or written.
bool saveRegistrySettings(const MonitorSettings& settings, const ModuleTable& modules);

enum class ConfigFileResult { Ok, OpenFailed, WrongFormat, WriteFailed };

// The file text (UTF-8, "\n" line ends). tcpLatch: the TCP mode of the last
// START, written for information and never read back.
std::string configFileText(const MonitorSettings& settings, const ModuleTable& modules,
                           int tcpLatch);
// Applies the lines of a file whose first word is "DKQ-1-5"; lines missing at
// the end leave their fields as they were, except the names of missing
// entries. False, with nothing changed, for another first word.
bool applyConfigLines(const std::vector<std::string>& lines, MonitorSettings& settings,
                      ModuleTable& modules);

// Whole or not at all. An empty file name field becomes "pomiary1.csv" in the
// file, and in settings once the file is saved.
ConfigFileResult saveConfigFile(const std::string& path, MonitorSettings& settings,
                                const ModuleTable& modules, int tcpLatch);
ConfigFileResult loadConfigFile(const std::string& path, MonitorSettings& settings,
                                ModuleTable& modules);

}  // namespace dkq

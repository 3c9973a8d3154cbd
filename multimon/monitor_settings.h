// multimon's settings: communication and recording values kept in the shared
// registry key, and configuration files "DKQ-1-5" that also carry the
// presentation tables of all five modules.
#pragma once

#include <string>
#include <vector>

#include "monitor/settings_fields.h"
#include "multimon/module_table.h"

namespace dkq {

struct MonitorSettings : LinkSettings, RecordPeriodFields {
    int reservedValue = 0;  // carried through configuration files unchanged
    bool testOuts = true;   // "Pomiary linii wyjściowych": read output voltages and supplies
    std::string fileName = "pomiary.csv";
    bool splitFile = false;  // "Podział pliku na części"
};

// Reads the values present in the key; creates the key when it is missing.
void loadMonitorSettings(MonitorSettings& settings, ModuleTable& modules);
// Writes every value; false when the key cannot be opened or written.
bool saveMonitorSettings(const MonitorSettings& settings, const ModuleTable& modules);

// The file text (UTF-8, "\n" line ends). tcpLatch: the TCP mode of the last
// START, written for information and never read back.
std::string configFileText(const MonitorSettings& settings, const ModuleTable& modules,
                           int tcpLatch);
// Applies the lines of a file whose first word is "DKQ-1-5"; lines missing at
// the end leave their fields as they were, except the names of missing
// entries. The CSV file name is taken without its folders. False, with
// nothing changed, for another first word.
bool applyConfigLines(const std::vector<std::string>& lines, MonitorSettings& settings,
                      ModuleTable& modules);

// Whole or not at all. An empty file name field becomes "pomiary1.csv" in the
// file, and in settings once the file is saved.
MonitorConfigResult saveMonitorConfigFile(const std::string& path, MonitorSettings& settings,
                                          const ModuleTable& modules, int tcpLatch);
MonitorConfigResult loadMonitorConfigFile(const std::string& path, MonitorSettings& settings,
                                          ModuleTable& modules);

}  // namespace dkq

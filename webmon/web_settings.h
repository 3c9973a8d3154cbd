// webmon's settings: the values kept in the registry key the monitors share,
// and configuration files "DKQ-1" that also carry the presentation table.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "monitor/line_setup.h"
#include "monitor/measurement.h"
#include "monitor/settings_fields.h"

namespace dkq {

struct WebMonitorSettings : LinkSettings, RecordPeriodFields {
    bool echo = false;  // kept and carried; no effect on the link
    int busAddress = 1;
    bool testOuts = true;  // "Pomiary linii wyjściowych": read output voltages and supplies
    std::string fileName = "rejestr0.csv";
    bool disconnectAfterReading = false;  // "Rozłączaj po transmisji"
};

// webmon's presentation defaults: Linia1..Linia16, Cnt1..Cnt4.
ChannelTable defaultWebChannels();

// Reads the values present in the key; creates the key when it is missing.
// Numbers are taken into their ranges (bus address 1..31), texts cut to 255
// characters.
void loadWebMonitorSettings(WebMonitorSettings& settings);
// Writes every value; false when the key cannot be opened or written.
bool saveWebMonitorSettings(const WebMonitorSettings& settings);

// The file text (UTF-8, "\n" line ends).
std::string webConfigFileText(const WebMonitorSettings& settings, const ChannelTable& channels);
// Applies the lines of a file whose first word is "DKQ-1", the CSV file name
// without its folders; false, with nothing changed, for another first word.
bool applyWebConfigLines(const std::vector<std::string>& lines, WebMonitorSettings& settings,
                         ChannelTable& channels);

// Whole or not at all. An empty file name field becomes "rejestr0.csv".
MonitorConfigResult saveWebConfigFile(const std::string& path, WebMonitorSettings& settings,
                                      const ChannelTable& channels);
MonitorConfigResult loadWebConfigFile(const std::string& path, WebMonitorSettings& settings,
                                      ChannelTable& channels);

}  // namespace dkq

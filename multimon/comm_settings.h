// multimon's communication settings dialog: its shape (the bus addresses of
// modules A..E) and how its values come from and go to the live settings.
#pragma once

#include "monitor/comm_settings.h"
#include "multimon/module_table.h"
#include "multimon/monitor_settings.h"

namespace dkq {

inline constexpr std::size_t MaxIpAddressChars = 20;

const CommDialogShape& multimonCommShape();

// The live values, with 192.168.2.1 and port 23 proposed when the TCP
// address or port is missing.
CommSettings commDialogValues(const MonitorSettings& settings, const ModuleTable& modules);
void applyCommSettings(const CommSettings& comm, MonitorSettings& settings, ModuleTable& modules);

}  // namespace dkq

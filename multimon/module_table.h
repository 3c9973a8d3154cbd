// The five modules A..E that multimon watches on one link.
#pragma once

#include <array>
#include <string>

#include "monitor/measurement.h"

namespace dkq {

inline constexpr int ModuleCount = 5;
using ModuleTable = std::array<ModuleSlot, ModuleCount>;

// Module A at bus address 1, B..E switched off, default presentation.
ModuleTable defaultModuleTable();

// Both CSV header lines (UTF-8, "\n" line ends) for the switched-on modules.
std::string csvHeader(const ModuleTable& modules);

}  // namespace dkq

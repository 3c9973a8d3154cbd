// The messages START shows for link failures, by result code.
#pragma once

#include <cstddef>
#include <string>

#include "multimon/monitor_settings.h"

namespace dkq {

// A failed open_com (serial port or TCP connection).
std::string openFailureText(int code, const MonitorSettings& settings);
// Diagnostics of a module that failed three times; module 0..4 named by letter.
std::string diagnosticsFailureText(int code, bool tcp, int module);
// Closing with records that still cannot be written to their file.
std::string lostRecordsText(std::size_t count);

}  // namespace dkq

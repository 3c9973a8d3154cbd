// The messages START shows for link failures, by result code.
#pragma once

#include <cstddef>
#include <string>

#include "multimon/monitor_settings.h"

namespace dkq {

// Diagnostics of a module that failed three times; module 0..4 named by letter.
std::string diagnosticsFailureText(int code, bool tcp, int module);

}  // namespace dkq

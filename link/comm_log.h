// The communication log "dkq_comm.log", with its process-wide time origin
// on the monotonic performance counter.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace dkq {

inline constexpr const char* CommLogFileName = "dkq_comm.log";

// One log line as the file holds it after text-mode writing (CR LF), UTF-8:
// "2024-03-05 9:07:02 (  1.234) >\tmessage\r\n".
std::string formatCommLogLine(const std::tm& local, double seconds, std::string_view message);

// Appends a line to the log, or, when the origin is unset or the message is
// empty, only (re)starts the seconds column. A file that cannot be opened
// drops the line silently. The log is rotated at LogRotationBytes.
void writeCommLog(std::string_view message);

// Forgets the log time origin; for tests that need a fresh process state.
void resetCommLogOrigin();

}  // namespace dkq

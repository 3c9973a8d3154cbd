// The logs that grow with time (the communication log, webmon's answer log)
// are bounded, so that an unattended run never fills the disk its CSV file
// needs: when a write would take a log past its size, the log is renamed to
// "<name>.1", replacing the older one, and a new log starts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace dkq {

inline constexpr std::uintmax_t LogRotationBytes = 10 * 1024 * 1024;

// The name the log takes when it is rotated: "<name>.1".
std::filesystem::path rotatedLogPath(const std::filesystem::path& log);

// Appends bytes to the log (a UTF-8 path), rotating it first when they would
// not fit in limitBytes; false when the log cannot be written, a symbolic
// link at its name included.
bool appendToLog(const std::string& log, std::string_view bytes,
                 std::uintmax_t limitBytes = LogRotationBytes);

}  // namespace dkq

#include "link/log_file.h"

#include <fstream>
#include <system_error>

namespace dkq {

std::filesystem::path rotatedLogPath(const std::filesystem::path& log) {
    std::filesystem::path rotated = log;
    rotated += ".1";
    return rotated;
}

bool appendToLog(const std::filesystem::path& log, std::string_view bytes,
                 std::uintmax_t limitBytes) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(log, error);
    if (!error && size > 0 && size + bytes.size() > limitBytes)
        std::filesystem::rename(log, rotatedLogPath(log), error);
    std::ofstream file(log, std::ios::binary | std::ios::app);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

}  // namespace dkq

#include "link/log_file.h"

#include <system_error>

#include "common/plain_file.h"
#include "common/text_file.h"

namespace dkq {

std::filesystem::path rotatedLogPath(const std::filesystem::path& log) {
    std::filesystem::path rotated = log;
    rotated += ".1";
    return rotated;
}

// Only a regular file is rotated: a link at the name is refused by the append,
// and renaming a link at "<name>.1" replaces the link, not what it points to.
bool appendToLog(const std::string& log, std::string_view bytes, std::uintmax_t limitBytes) {
    const std::filesystem::path path = pathFromUtf8(log);
    std::error_code error;
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(path, error))) {
        const std::uintmax_t size = std::filesystem::file_size(path, error);
        if (!error && size > 0 && size + bytes.size() > limitBytes)
            std::filesystem::rename(path, rotatedLogPath(path), error);
    }
    return appendToFile(log, bytes);
}

}  // namespace dkq

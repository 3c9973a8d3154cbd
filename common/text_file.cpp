#include "common/text_file.h"

#include "common/text.h"

namespace dkq {
namespace {

std::size_t fileNameStart(const std::string& path) {
#ifdef _WIN32
    const std::size_t separator = path.find_last_of("\\/:");
#else
    const std::size_t separator = path.find_last_of('/');
#endif
    return separator == std::string::npos ? 0 : separator + 1;
}

}  // namespace

std::string withUpperCaseFileName(const std::string& path) {
    const std::size_t start = fileNameStart(path);
    return path.substr(0, start) + toUpperText(path.substr(start));
}

std::string fileNameOf(const std::string& path) {
    return path.substr(fileNameStart(path));
}

}  // namespace dkq

#include "common/plain_file.h"

#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#endif

namespace dkq {

std::filesystem::path pathFromUtf8(const std::string& utf8) {
#ifdef _WIN32
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int wideSize = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), wideSize);
    return std::filesystem::path(wide);
#else
    return std::filesystem::path(utf8);
#endif
}

bool readWholeFile(const std::string& path, std::string& bytes) {
    const std::filesystem::path name = pathFromUtf8(path);
    std::error_code error;
    if (std::filesystem::is_directory(name, error)) return false;
    std::ifstream file(name, std::ios::binary);
    if (!file) return false;
    std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) return false;
    bytes = std::move(content);
    return true;
}

}  // namespace dkq

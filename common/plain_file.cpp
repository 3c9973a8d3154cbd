#include "common/plain_file.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
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

namespace {

std::FILE* createFile(const std::filesystem::path& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

bool pushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef _WIN32
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

bool writeWholeFile(const std::string& path, std::string_view bytes) {
    const std::filesystem::path target = pathFromUtf8(path);
    std::filesystem::path temporary = target;
    temporary += ".saving";
    std::FILE* file = createFile(temporary);
    if (file == nullptr) return false;
    const bool written =
        std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && pushToDisk(file);
    const bool closed = std::fclose(file) == 0;
    if (written && closed && replaceFile(temporary, target)) return true;
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
}

}  // namespace dkq

// printf-style formatting of the link's log lines into UTF-8 text, as long
// as the line needs: a received text is logged whole.
#pragma once

#include <cstdio>
#include <string>

namespace dkq {

template <typename... Args>
std::string logText(const char* format, Args... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0) return {};
    std::string line(static_cast<std::size_t>(length), '\0');
    std::snprintf(line.data(), line.size() + 1, format, args...);
    return line;
}

}  // namespace dkq

// printf-style formatting of the link's log lines into UTF-8 text.
#pragma once

#include <cstdio>
#include <string>

namespace dkq {

template <typename... Args>
std::string logText(const char* format, Args... args) {
    char line[1400];
    std::snprintf(line, sizeof line, format, args...);
    return line;
}

}  // namespace dkq

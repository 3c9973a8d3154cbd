#include "link/comm_log.h"

#include <cstdint>
#include <cstdio>

#include "common/cp1250.h"
#include "link/log_file.h"
#include "link/platform/clock.h"

namespace dkq {
namespace {

// Process-wide, as the log is shared by every user of the one link a program
// has.
std::int64_t gLogOrigin = 0;

}  // namespace

std::string formatCommLogLine(const std::tm& local, double seconds, std::string_view message) {
    char head[96];
    std::snprintf(head, sizeof head, "%d-%02d-%02d %d:%02d:%02d (%7.3f) >\t", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  seconds);
    std::string line = head;
    line.append(message);
    line.push_back('\n');
    return withCrLf(line);
}

void writeCommLog(std::string_view message) {
    const std::int64_t now = platform::performanceCounter();
    if (gLogOrigin == 0 || message.empty()) {
        gLogOrigin = now == 0 ? 1 : now;
        return;
    }
    const double seconds = static_cast<double>(now - gLogOrigin) / 1'000'000'000.0;
    const std::time_t calendar = std::time(nullptr);
    std::tm local{};
    platform::localTime(calendar, local);

    appendToLog(CommLogFileName, utf8ToCp1250(formatCommLogLine(local, seconds, message)));
}

void resetCommLogOrigin() {
    gLogOrigin = 0;
}

}  // namespace dkq

#include "collector/base/instant.h"

#include <chrono>
#include <cstdio>

namespace dkq::collector {
namespace {

using namespace std::chrono;

struct CivilTime {
    year_month_day date;
    hh_mm_ss<milliseconds> time;
};

CivilTime civilTime(std::int64_t ms) {
    const sys_time<milliseconds> point{milliseconds(ms)};
    const sys_days day = floor<days>(point);
    return {year_month_day(day), hh_mm_ss<milliseconds>(point - day)};
}

// Reads `count` digits at pos into value; false when they are not there.
bool readDigits(std::string_view text, std::size_t& pos, std::size_t count, int& value) {
    if (pos + count > text.size()) return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i, ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

bool take(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

std::int64_t nowMs() {
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string isoTime(std::int64_t ms) {
    const CivilTime t = civilTime(ms);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(t.date.year()),
                  unsigned(t.date.month()), unsigned(t.date.day()), int(t.time.hours().count()),
                  int(t.time.minutes().count()), int(t.time.seconds().count()),
                  int(t.time.subseconds().count()));
    return text;
}

std::string csvTime(std::int64_t ms) {
    const CivilTime t = civilTime(ms);
    char text[32];
    std::snprintf(text, sizeof text, "%d-%02u-%02u %d:%02d:%02d,%03d", int(t.date.year()),
                  unsigned(t.date.month()), unsigned(t.date.day()), int(t.time.hours().count()),
                  int(t.time.minutes().count()), int(t.time.seconds().count()),
                  int(t.time.subseconds().count()));
    return text;
}

std::optional<std::int64_t> readIsoTime(std::string_view text) {
    std::size_t pos = 0;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    if (!readDigits(text, pos, 4, y) || !take(text, pos, '-') || !readDigits(text, pos, 2, mo) ||
        !take(text, pos, '-') || !readDigits(text, pos, 2, d))
        return std::nullopt;
    if (take(text, pos, 'T') || take(text, pos, ' ')) {
        if (!readDigits(text, pos, 2, h) || !take(text, pos, ':') || !readDigits(text, pos, 2, mi))
            return std::nullopt;
        if (take(text, pos, ':') && !readDigits(text, pos, 2, s)) return std::nullopt;
        if (take(text, pos, '.')) {
            const std::size_t start = pos;
            int digit = 0;
            while (pos - start < 9 && readDigits(text, pos, 1, digit))
                if (pos - start <= 3) ms = ms * 10 + digit;
            if (pos == start) return std::nullopt;
            for (std::size_t n = pos - start; n < 3; ++n) ms *= 10;
        }
    }
    take(text, pos, 'Z');
    const year_month_day date{year(y), month(unsigned(mo)), day(unsigned(d))};
    if (pos != text.size() || !date.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;
    const std::int64_t result =
        duration_cast<milliseconds>(sys_days(date).time_since_epoch()).count() +
        ((h * 60 + mi) * 60 + s) * 1000LL + ms;
    if (result < EarliestMs || result > LatestMs) return std::nullopt;
    return result;
}

}  // namespace dkq::collector

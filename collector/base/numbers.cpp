#include "collector/base/numbers.h"

#include <charconv>

namespace dkq::collector {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The end of the run of digits that starts at pos.
std::size_t digitsEnd(std::string_view text, std::size_t pos) {
    while (pos < text.size() && isDigit(text[pos])) ++pos;
    return pos;
}

// "-?[0-9]+(.[0-9]+)?" exactly.
bool isDecimalNumber(std::string_view item) {
    std::size_t pos = item.starts_with('-') ? 1 : 0;
    std::size_t end = digitsEnd(item, pos);
    if (end == pos) return false;
    if (end < item.size() && item[end] == '.') {
        pos = end + 1;
        end = digitsEnd(item, pos);
        if (end == pos) return false;
    }
    return end == item.size();
}

}  // namespace

bool readValues(std::string_view data, std::vector<double>& values) {
    values.clear();
    if (data.empty()) return true;
    for (std::size_t start = 0;;) {
        const std::size_t comma = data.find(',', start);
        const std::string_view item = data.substr(start, comma - start);
        double value = 0;
        // Digits beyond the range of a double are no reading either.
        if (!isDecimalNumber(item) ||
            std::from_chars(item.data(), item.data() + item.size(), value).ec != std::errc()) {
            values.clear();
            return false;
        }
        values.push_back(value);
        if (comma == std::string_view::npos) return true;
        start = comma + 1;
    }
}

void appendNumber(std::string& out, double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

void appendNumbers(std::string& out, std::span<const double> values, char open, char close) {
    out += open;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ',';
        appendNumber(out, values[i]);
    }
    out += close;
}

}  // namespace dkq::collector

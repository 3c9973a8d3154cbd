#include "sim/numbers.h"

#include <charconv>

namespace dkq::sim {

std::optional<long> parseNumber(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    // from_chars would take a second sign itself; only digits may follow.
    if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return negative ? -value : value;
}

std::optional<int> parseNumberIn(std::string_view text, long low, long high) {
    const auto value = parseNumber(text);
    if (!value || *value < low || *value > high) return std::nullopt;
    return static_cast<int>(*value);
}

}  // namespace dkq::sim

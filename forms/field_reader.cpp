#include "forms/field_reader.h"

#include <charconv>
#include <cmath>

#include "common/text.h"

namespace dkq {
namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// A whole field as one number: blanks around it are allowed, nothing else.
template <typename T>
std::optional<T> parseWhole(std::string_view text) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

}  // namespace

int FieldReader::integer(int field, std::string_view text, int min, int max) {
    if (problem_) return min;
    const auto value = parseWhole<int>(text);  // beyond 32 bits is no integer either
    if (!value) {
        fail(field, "Please enter an integer.");
        return min;
    }
    if (*value < min || *value > max) {
        fail(field, "Please enter an integer between " + std::to_string(min) + " and " +
                        std::to_string(max) + ".");
        return min;
    }
    return *value;
}

float FieldReader::number(int field, std::string_view text) {
    if (problem_) return 0;
    std::string pointed(text);
    if (const auto comma = pointed.find(','); comma != std::string::npos) pointed[comma] = '.';
    const auto value = parseWhole<float>(pointed);
    if (!value || !std::isfinite(*value)) {
        fail(field, "Please enter a number.");
        return 0;
    }
    return *value;
}

std::string FieldReader::text(int field, std::string_view text, std::size_t maxChars) {
    if (problem_) return {};
    if (limitChars(text, maxChars).size() != text.size()) {
        fail(field, "Please enter no more than " + std::to_string(maxChars) + " characters.");
        return {};
    }
    return std::string(text);
}

void FieldReader::fail(int field, std::string prompt) {
    problem_ = FieldProblem{field, std::move(prompt)};
}

std::string displayNumber(float value) {
    char text[32];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
    return std::string(text, result.ptr);
}

}  // namespace dkq

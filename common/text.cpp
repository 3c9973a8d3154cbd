#include "common/text.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "common/cp1250.h"

namespace dkq {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Upper case of the Latin letters a file name can carry: ASCII, Latin-1 and
// Latin Extended-A, which hold every letter of Windows-1250. Others stay.
char32_t upperCaseOf(char32_t c) {
    if (c >= U'a' && c <= U'z') return c - 0x20;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c == 0x131) return U'I';  // dotless i
    if (c == 0x17F) return U'S';  // long s
    if (c < 0x100 || c > 0x17E || c == 0x149) return c;
    // Extended-A pairs capital and small letter; between 0x139 and 0x148 and
    // from 0x179 on the capital has the odd number, elsewhere the even one.
    const bool oddCapitals = (c >= 0x139 && c <= 0x148) || c >= 0x179;
    const bool small = oddCapitals ? c % 2 == 0 : c % 2 == 1;
    return small ? c - 1 : c;
}

// Reads one "%d" number at text[pos]; false when none parses or it overflows.
bool scanInt(std::string_view text, std::size_t& pos, int& value) {
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    if (pos >= text.size() || !isDigit(text[pos])) return false;
    long long number = 0;
    while (pos < text.size() && isDigit(text[pos])) {
        number = number * 10 + (text[pos++] - '0');
        if (number > static_cast<long long>(std::numeric_limits<int>::max()) + 1) return false;
    }
    if (negative) number = -number;
    if (number > std::numeric_limits<int>::max()) return false;
    value = static_cast<int>(number);
    return true;
}

}  // namespace

std::string encodeTextFile(std::string_view text) {
    return utf8ToCp1250(withCrLf(text));
}

std::vector<std::string> decodeTextLines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
        if (end == std::string_view::npos) end = bytes.size();
        if (end > start && bytes[end - 1] == '\r' && end < bytes.size()) --end;
        lines.push_back(cp1250ToUtf8(bytes.substr(start, end - start)));
        start = next;
    }
    return lines;
}

std::vector<int> scanIntList(std::string_view text, std::size_t maxCount) {
    std::vector<int> numbers;
    std::size_t pos = 0;
    int value = 0;
    while (numbers.size() < maxCount && scanInt(text, pos, value)) {
        numbers.push_back(value);
        if (pos >= text.size() || text[pos] != ',') break;
        ++pos;
    }
    return numbers;
}

std::string firstWord(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && isBlank(text[start])) ++start;
    std::size_t end = start;
    while (end < text.size() && !isBlank(text[end])) ++end;
    return std::string(text.substr(start, end - start));
}

std::string limitChars(std::string_view text, std::size_t maxChars) {
    std::size_t chars = 0;
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (isContinuationByte(text[pos])) continue;
        if (chars == maxChars) return std::string(text.substr(0, pos));
        ++chars;
    }
    return std::string(text);
}

std::string toUpperText(std::string_view text) {
    std::string upper;
    upper.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const char32_t c = nextCodePoint(text, pos);
        const char32_t capital = upperCaseOf(c);
        // Whatever stays (malformed bytes too) is copied as it stood.
        if (capital == c)
            upper.append(text.substr(start, pos - start));
        else
            appendUtf8(upper, capital);
    }
    return upper;
}

std::vector<std::string> splitCommandLine(std::string_view line) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (words.size() < MaxCommandWords) {
        while (pos < line.size() && line[pos] == ' ') ++pos;
        if (pos >= line.size()) break;
        const std::size_t end = std::min(line.find(' ', pos), line.size());
        words.push_back(limitChars(line.substr(pos, end - pos), MaxCommandWordChars));
        pos = end;
    }
    return words;
}

std::string formatDateTime(const std::tm& time) {
    char text[64];
    std::snprintf(text, sizeof text, "%d-%02d-%02d %d:%02d:%02d", time.tm_year + 1900,
                  time.tm_mon + 1, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec);
    return text;
}

}  // namespace dkq

#include "upload/outbox_journal.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace dkq {
namespace {

constexpr std::size_t CrcDigits = 8;

std::string crcText(std::string_view text) {
    const auto crc = static_cast<unsigned>(
        crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
    char digits[CrcDigits + 1];
    std::snprintf(digits, sizeof digits, "%08x", crc);
    return digits;
}

std::string withCrc(const std::string& text) {
    return text + " " + crcText(text) + "\n";
}

// A whole decimal number without sign.
template <typename Number>
bool readNumber(std::string_view text, Number& number) {
    if (text.empty() || text.front() < '0' || text.front() > '9') return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size();
}

OutboxLine headLine(std::string_view fields) {
    OutboxLine line;
    const std::size_t blank = fields.find(' ');
    if (blank == std::string_view::npos || !readNumber(fields.substr(0, blank), line.offset) ||
        !readNumber(fields.substr(blank + 1), line.count))
        return {};
    line.kind = OutboxLine::Kind::Head;
    return line;
}

}  // namespace

bool fitsOutbox(std::string_view query) {
    return !query.empty() && query.size() <= MaxOutboxLineBytes - 16 &&
           std::all_of(query.begin(), query.end(), [](char c) { return c > ' ' && c <= '~'; });
}

std::string outboxReadingLine(std::string_view query) {
    return withCrc("R " + std::string(query));
}

std::string outboxHeadLine(std::uint64_t offset, long long count) {
    return withCrc("H " + std::to_string(offset) + " " + std::to_string(count));
}

OutboxLine parseOutboxLine(std::string_view line) {
    if (line.size() < 3 + CrcDigits + 1 || line[1] != ' ') return {};
    const std::string_view text = line.substr(0, line.size() - CrcDigits - 1);
    if (line[text.size()] != ' ' || line.substr(text.size() + 1) != crcText(text)) return {};
    const std::string_view fields = text.substr(2);
    if (line[0] == 'H') return headLine(fields);
    if (line[0] != 'R' || !fitsOutbox(fields)) return {};
    OutboxLine reading;
    reading.kind = OutboxLine::Kind::Reading;
    reading.query = fields;
    return reading;
}

void OutboxScan::feed(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (!overlong_ && partial_.size() + piece.size() <= MaxOutboxLineBytes)
            partial_.append(piece);
        else
            overlong_ = true;
        if (end == std::string_view::npos) {
            offset_ += bytes.size();
            return;
        }
        const std::uint64_t lineEnd = offset_ + end + 1;
        if (!overlong_) takeLine(partial_, lineEnd - partial_.size() - 1);
        partial_.clear();
        overlong_ = false;
        wholeEnd_ = lineEnd;
        offset_ = lineEnd;
        bytes.remove_prefix(end + 1);
    }
}

// A head line tells all that came before it; readings after it add up.
void OutboxScan::takeLine(std::string_view text, std::uint64_t lineStart) {
    const OutboxLine line = parseOutboxLine(text);
    if (line.kind == OutboxLine::Kind::Reading) ++readingsAfterHead_;
    // Each counted reading takes more than a byte between the head and this line.
    if (line.kind != OutboxLine::Kind::Head || line.offset > lineStart || line.offset < head_ ||
        static_cast<std::uint64_t>(line.count) > lineStart - line.offset)
        return;
    head_ = line.offset;
    headCount_ = line.count;
    readingsAfterHead_ = 0;
}

}  // namespace dkq

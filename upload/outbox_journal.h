// The outbox file's lines. Lines are only ever appended, each carries its own
// CRC-32, so a line torn by a killed program or a power cut is known and passed
// over:
//   "R <query> <crc>"           a reading waiting for the server (its request's query)
//   "H <offset> <count> <crc>"  the readings before byte <offset> have left the
//                               outbox; <count> wait from there to this line
// <crc> is eight lower-case hex digits of zlib's CRC-32 over the line before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dkq {

inline constexpr std::size_t MaxOutboxLineBytes = 4096;

// False for a query the journal cannot hold: empty, too long, or holding a
// byte outside '!'..'~'.
bool fitsOutbox(std::string_view query);
std::string outboxReadingLine(std::string_view query);
std::string outboxHeadLine(std::uint64_t offset, long long count);

struct OutboxLine {
    enum class Kind { Invalid, Reading, Head };
    Kind kind = Kind::Invalid;
    std::string_view query;    // Reading
    std::uint64_t offset = 0;  // Head
    long long count = 0;       // Head
};

// One line without its "\n".
OutboxLine parseOutboxLine(std::string_view line);

// Reads a journal from byte `start` on (what lies before it is gone), fed in
// pieces of any size: where the waiting readings begin, how many there are,
// and where the last whole line ends (a torn line after it is cut off).
class OutboxScan {
  public:
    explicit OutboxScan(std::uint64_t start = 0) : offset_(start), wholeEnd_(start), head_(start) {}

    void feed(std::string_view bytes);

    std::uint64_t head() const { return head_; }
    long long waiting() const { return headCount_ + readingsAfterHead_; }
    std::uint64_t wholeEnd() const { return wholeEnd_; }

  private:
    void takeLine(std::string_view line, std::uint64_t lineStart);

    std::uint64_t offset_;  // of the next byte fed
    std::uint64_t wholeEnd_;
    std::uint64_t head_;
    long long headCount_ = 0;
    long long readingsAfterHead_ = 0;
    std::string partial_;    // the line begun in an earlier piece
    bool overlong_ = false;  // the line begun is longer than any valid one
};

}  // namespace dkq

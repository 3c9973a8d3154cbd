// The outbox of BUFFER=1: readings wait in one file of the working folder
// until the server has them. A reading is on the disk before add() returns,
// so a killed program or a power cut loses none that was added; it leaves
// only when settled: stored (2xx) or refused (4xx). Sending takes the oldest
// first.
//
// The file is a journal (outbox_journal.h). What has left is marked by a head
// line written with the next reading, every MiB of progress and at close,
// without waiting for the disk: after a crash a few readings already stored
// are sent again, which the collector answers 200 and stores once. When
// nothing waits the file is cut to nothing; while a backlog drains, the whole
// blocks behind the head are handed back to the file system, so the file
// holds on the disk about what waits.
//
// Bounded: past maxReadings, and while the disk has less than minFreeBytes
// free, each new reading drops the oldest (counted). One program at a time:
// the file is locked while open, and never opened through a link at its name.
// Safe to call from the tick and the upload worker at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace dkq {

struct OutboxLimits {
    long long maxReadings = 10'000'000;
    std::uint64_t minFreeBytes = 100'000'000;
};

// Readings lost for the server since the outbox was opened.
struct OutboxLosses {
    long long refused = 0;     // answered 4xx
    long long overflowed = 0;  // the oldest, dropped past the bounds
    long long unstored = 0;    // could not be written to the outbox, or were spoiled there
    long long total() const { return refused + overflowed + unstored; }
};

// "Pomiarów odrzuconych przez serwer: 1, usuniętych z pełnej kolejki: 2,
// niezapisanych w kolejce: 3."
std::string outboxLossesText(const OutboxLosses& losses);

class Outbox {
  public:
    struct Entry {
        std::string query;
        std::uint64_t end = 0;         // where its line ends in the file
        std::uint64_t generation = 0;  // of the file's contents (bumped when cut to nothing)
    };

    Outbox(std::string path, const OutboxLimits& limits);
    ~Outbox();
    Outbox(const Outbox&) = delete;
    Outbox& operator=(const Outbox&) = delete;

    // Opens the file and reads what waits; the losses start from zero. False,
    // with problem() telling why, when it cannot be had (add() tries again).
    bool open();
    // Marks the head, pushes the file to the disk and lets it go.
    void close();

    // Appends the reading, on the disk before it returns; false (counted as
    // unstored) when it could not be written.
    bool add(std::string_view query);
    std::optional<Entry> oldest();
    // The reading leaves: stored, or refused by the server.
    void settle(const Entry& entry, bool stored);

    long long waiting() const { return waiting_; }
    OutboxLosses losses() const;
    std::string problem() const;

  private:
    bool openFile();
    bool scanFile();
    std::optional<Entry> oldestLocked();
    void makeRoom();
    void leave(std::uint64_t end);
    bool appendDurably(const std::string& bytes);
    void markHead();
    void emptyFile();
    std::uint64_t freeBytes() const;

    const std::string path_;
    const OutboxLimits limits_;
    mutable std::mutex mutex_;
    int fd_ = -1;
    std::uint64_t head_ = 0;     // the oldest waiting reading's line begins here or later
    std::uint64_t end_ = 0;      // of the file
    std::uint64_t marked_ = 0;   // the head the last head line gave
    std::uint64_t punched_ = 0;  // the blocks before it are handed back
    std::uint64_t generation_ = 0;
    bool headPending_ = false;  // the head moved since the last head line
    std::atomic<long long> waiting_{0};
    OutboxLosses losses_;
    std::string problem_;
};

}  // namespace dkq

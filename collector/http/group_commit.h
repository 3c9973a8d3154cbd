// Uploads waiting for their commit. A writer takes everything that queued up
// while the previous commit ran and stores it in one transaction, so the
// number of commits follows the disk, not the number of uploads; each upload
// hears of its own commit only after it.
//
// An upload is answered within MaxAnswerWait whatever the database does: it
// is sent to the database only while it has time for a whole commit (which
// the store ends by StoreTimeoutMs), and is refused unsent otherwise, so a
// refusal means it was not stored.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "collector/store/reading_store.h"

namespace dkq::collector {

inline constexpr auto MaxAnswerWait = std::chrono::milliseconds(4500);

class GroupCommit {
  public:
    // One upload on its way: committed() is called once, from a writer
    // thread (or the submitting one, once stopped), after its transaction
    // ended or when it was refused unsent.
    class Entry {
      public:
        virtual ~Entry() = default;
        virtual void committed(bool stored) = 0;
        NewReading reading;
        std::chrono::steady_clock::time_point queued;
    };

    // Called from a writer thread with each batch that was stored, after
    // its uploads heard of it.
    using Stored = std::function<void(std::span<const NewReading>)>;

    // Starts the store's number of writer threads.
    explicit GroupCommit(ReadingStore& store, Stored stored = nullptr);
    ~GroupCommit();
    GroupCommit(const GroupCommit&) = delete;
    GroupCommit& operator=(const GroupCommit&) = delete;

    // The queue holds one entry per open connection at most, so it is bounded
    // by the server's connection limit.
    void submit(Entry& entry);
    // Refuses what waits, lets the commits under way end and ends the
    // writers; what is submitted after is refused at once.
    void stop();

  private:
    void write();

    ReadingStore& store_;
    const Stored stored_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::vector<Entry*> queue_;
    bool stopping_ = false;
    std::vector<std::thread> writers_;
};

}  // namespace dkq::collector

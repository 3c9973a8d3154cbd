#include "collector/http/group_commit.h"

namespace dkq::collector {

GroupCommit::GroupCommit(ReadingStore& store, Stored stored)
    : store_(store), stored_(std::move(stored)) {
    for (int i = 0; i < store.concurrentWriters(); ++i) writers_.emplace_back([this] { write(); });
}

GroupCommit::~GroupCommit() {
    stop();
}

void GroupCommit::submit(Entry& entry) {
    entry.queued = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            queue_.push_back(&entry);
            queued_.notify_one();
            return;
        }
    }
    entry.committed(false);
}

void GroupCommit::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread& writer : writers_) writer.join();
    writers_.clear();
}

void GroupCommit::write() {
    std::vector<Entry*> entries;
    std::vector<Entry*> sent;
    std::vector<NewReading> batch;
    for (;;) {
        bool stopping = false;
        {
            std::unique_lock lock(mutex_);
            queued_.wait(lock, [this] { return !queue_.empty() || stopping_; });
            if (queue_.empty()) return;
            entries.swap(queue_);
            stopping = stopping_;
        }
        // Those that cannot have a whole commit before their answer is due.
        const auto latest = std::chrono::steady_clock::now() +
                            std::chrono::milliseconds(StoreTimeoutMs) - MaxAnswerWait;
        batch.clear();
        sent.clear();
        for (Entry* entry : entries) {
            if (stopping || entry->queued < latest) {
                entry->committed(false);
            } else {
                batch.push_back(std::move(entry->reading));
                sent.push_back(entry);
            }
        }
        entries.clear();
        if (sent.empty()) continue;
        const bool stored = store_.storeReadings(batch);
        for (Entry* entry : sent) entry->committed(stored);
        if (stored && stored_) stored_(batch);
    }
}

}  // namespace dkq::collector

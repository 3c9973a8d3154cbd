#include "collector/http/group_commit.h"

namespace dkq::collector {

GroupCommit::GroupCommit(ReadingStore& store, Stored stored)
    : store_(store), stored_(std::move(stored)) {
    for (int i = 0; i < store.concurrentWriters(); ++i) writers_.emplace_back([this] { write(); });
}

GroupCommit::~GroupCommit() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread& writer : writers_) writer.join();
}

void GroupCommit::submit(Entry& entry) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(&entry);
    }
    queued_.notify_one();
}

void GroupCommit::write() {
    std::vector<Entry*> entries;
    std::vector<NewReading> batch;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            queued_.wait(lock, [this] { return !queue_.empty() || stopping_; });
            if (queue_.empty()) return;
            entries.swap(queue_);
        }
        batch.clear();
        for (Entry* entry : entries) batch.push_back(std::move(entry->reading));
        const bool stored = store_.storeReadings(batch);
        for (Entry* entry : entries) entry->committed(stored);
        if (stored && stored_) stored_(batch);
        entries.clear();
    }
}

}  // namespace dkq::collector

// The embedded default store: one SQLite file in WAL mode. One connection
// writes, each commit waiting for the disk (synchronous FULL); readers take
// connections of their own from a pool and never wait for the writer.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "collector/store/reading_store.h"

namespace dkq::collector {

class SqliteStore final : public ReadingStore, public AlertStateStore {
  public:
    static std::unique_ptr<SqliteStore> open(const std::string& path, std::string& error);
    ~SqliteStore() override;

    int concurrentWriters() const override { return 1; }
    bool storeReadings(std::span<const NewReading> batch) override;
    bool listSites(std::vector<SiteSummary>& sites) override;
    bool readPage(const ReadingRange& range, const ReadingKey& after, std::size_t count,
                  std::vector<StoredReading>& page) override;
    bool newestKey(const ReadingRange& range, std::size_t newer, ReadingKey& key,
                   bool& found) override;
    bool widestReading(const ReadingRange& range, std::size_t& values) override;
    AlertStateStore& alertState() override { return *this; }
    bool listFiring(std::vector<Alert>& alerts) override;
    bool claimFiring(const Alert& alert, bool& claimed) override;
    bool endFiring(const Alert& alert, bool& ended) override;

  private:
    struct Connection;
    class Reader;
    explicit SqliteStore(std::string path);
    bool changeFiring(const char* sql, const Alert& alert, bool& changed);

    std::string path_;
    std::mutex writerMutex_;
    std::unique_ptr<Connection> writer_;
    std::mutex readersMutex_;
    std::vector<std::unique_ptr<Connection>> idleReaders_;
};

}  // namespace dkq::collector

// PostgreSQL, for sites that outgrow one machine and for several collectors
// sharing one database: a small pool of connections with prepared
// statements; a connection that broke is opened again on its next use.
// Every operation ends by the store's time-out, the server's answer or not.
#pragma once

#include <condition_variable>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "collector/store/reading_store.h"

typedef struct pg_conn PGconn;

namespace dkq::collector {

class PostgresStore final : public ReadingStore, public AlertStateStore {
  public:
    static std::unique_ptr<PostgresStore> open(const std::string& url, std::string& error);
    ~PostgresStore() override;

    int concurrentWriters() const override { return Writers; }
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
    static constexpr int PoolSize = 4;
    static constexpr int Writers = 2;
    class Lease;
    explicit PostgresStore(std::string url) : url_(std::move(url)) {}
    // Whether the statement ran and changed exactly one row.
    bool changedOne(const char* sql, std::initializer_list<const char*> params, bool& changed);

    std::string url_;
    std::mutex mutex_;
    std::condition_variable returned_;
    std::vector<PGconn*> idle_;
    int open_ = 0;
};

}  // namespace dkq::collector

// Where the collector keeps its readings: one interface, a SQLite file by
// default and PostgreSQL for sites that several collectors share. Every
// operation is safe to call from several threads at once; none throws.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "collector/base/reading.h"
#include "collector/store/alert_state_store.h"

namespace dkq::collector {

class ReadingStore {
  public:
    virtual ~ReadingStore() = default;

    // How many batches may be committing at the same moment.
    virtual int concurrentWriters() const = 0;
    // Stores the batch in one transaction: all of it, or none when false. A
    // reading with its own time that the site already has is left out.
    virtual bool storeReadings(std::span<const NewReading> batch) = 0;
    // Every site with its reading count and its newest reading, by uid.
    virtual bool listSites(std::vector<SiteSummary>& sites) = 0;
    // Up to `count` readings of the range that come after `after`, in order.
    virtual bool readPage(const ReadingRange& range, const ReadingKey& after, std::size_t count,
                          std::vector<StoredReading>& page) = 0;
    // The key of the reading of the range that has `newer` readings after it
    // (0: the newest); `found` is false when the range holds no more.
    virtual bool newestKey(const ReadingRange& range, std::size_t newer, ReadingKey& key,
                           bool& found) = 0;
    // The most values one reading of the range holds (0 for none).
    virtual bool widestReading(const ReadingRange& range, std::size_t& values) = 0;
    // The alerts firing now, kept beside the readings.
    virtual AlertStateStore& alertState() = 0;
};

// Every operation gives up and fails after this long, waits for a lock or a
// connection included, whatever the database does: an upload's answer must
// not wait for a database that stopped answering.
inline constexpr int StoreTimeoutMs = 3000;

// "sqlite:PATH" or a PostgreSQL connection URI ("postgresql://..." or
// "postgres://..."). Creates or updates the schema; nothing, with a reason
// in `error`, when the database cannot be used.
std::unique_ptr<ReadingStore> openReadingStore(const std::string& url, std::string& error);

// How many readings of each site a batch added (one uid per added reading),
// by ascending uid: sites are updated in this order, so two collectors never
// wait on each other in turn.
struct SiteCount {
    std::int32_t uid;
    std::int64_t readings;
};
std::vector<SiteCount> countsBySite(std::span<const std::int32_t> added);

// The schema's versions in order: each step brings the previous version to
// its own. A store applies the steps above the version it finds.
struct SchemaStep {
    int version;
    const char* sql;
};
inline constexpr int SchemaVersion = 4;
// False, with the reason, when the database was made by a newer collector.
bool schemaKnown(int found, std::string& error);

// A site's usual interval: the median gap between its newest
// IntervalReadings readings, so that one long outage does not make it. 0 for
// fewer than two readings.
inline constexpr std::size_t IntervalReadings = 11;
std::int64_t usualIntervalMs(std::span<const StoredReading> readings);
bool readUsualInterval(ReadingStore& store, std::int32_t uid, std::int64_t& intervalMs);
// Each site's intervalMs.
bool addUsualIntervals(ReadingStore& store, std::span<SiteSummary> sites);

}  // namespace dkq::collector

#include "collector/store/reading_store.h"

#include <algorithm>
#include <map>

#include "collector/base/instant.h"
#include "collector/store/postgres_store.h"
#include "collector/store/sqlite_store.h"

namespace dkq::collector {

std::unique_ptr<ReadingStore> openReadingStore(const std::string& url, std::string& error) {
    if (url.starts_with("sqlite:")) {
        const std::string path = url.substr(7);
        if (!path.empty()) return SqliteStore::open(path, error);
        error = "sqlite: needs a file name";
        return nullptr;
    }
    if (url.starts_with("postgresql://") || url.starts_with("postgres://"))
        return PostgresStore::open(url, error);
    error = "unknown database " + url + " (sqlite:FILE or postgresql://...)";
    return nullptr;
}

std::vector<SiteCount> countsBySite(std::span<const std::int32_t> added) {
    std::map<std::int32_t, std::int64_t> counts;
    for (const std::int32_t uid : added) ++counts[uid];
    std::vector<SiteCount> sites;
    sites.reserve(counts.size());
    for (const auto& [uid, readings] : counts) sites.push_back({uid, readings});
    return sites;
}

bool schemaKnown(int found, std::string& error) {
    if (found <= SchemaVersion) return true;
    error = "the database has schema version " + std::to_string(found) +
            ", newer than this collector's " + std::to_string(SchemaVersion);
    return false;
}

std::int64_t usualIntervalMs(std::span<const StoredReading> readings) {
    std::vector<std::int64_t> gaps;
    for (std::size_t i = 1; i < readings.size(); ++i)
        gaps.push_back(readings[i].key.timeMs - readings[i - 1].key.timeMs);
    if (gaps.empty()) return 0;
    const auto median = gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2);
    std::nth_element(gaps.begin(), median, gaps.end());
    return *median;
}

bool readUsualInterval(ReadingStore& store, std::int32_t uid, std::int64_t& intervalMs) {
    const ReadingRange range{uid, EarliestMs, LatestMs};
    ReadingKey after = BeforeAllReadings;
    bool found = false;
    std::vector<StoredReading> newest;
    if (!store.newestKey(range, IntervalReadings, after, found) ||
        !store.readPage(range, found ? after : BeforeAllReadings, IntervalReadings, newest))
        return false;
    intervalMs = usualIntervalMs(newest);
    return true;
}

bool addUsualIntervals(ReadingStore& store, std::span<SiteSummary> sites) {
    for (SiteSummary& site : sites) {
        if (!readUsualInterval(store, site.uid, site.intervalMs)) return false;
    }
    return true;
}

}  // namespace dkq::collector

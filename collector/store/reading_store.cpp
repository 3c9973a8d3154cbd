#include "collector/store/reading_store.h"

#include <map>

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

}  // namespace dkq::collector

#include "collector/store/sqlite_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "collector/base/numbers.h"

namespace dkq::collector {
namespace {

// Times are milliseconds since 1970-01-01 00:00 UTC: taken_ms when the site
// took the reading, received_ms when it arrived; vals holds the numbers of
// the data text as a JSON array (json_extract(vals, '$[0]')). Version 2 added
// the reading's own time, taken to be its arrival for readings stored before.
constexpr SchemaStep SchemaSteps[] = {
    {1,
     "CREATE TABLE readings (id INTEGER PRIMARY KEY, uid INTEGER NOT NULL,"
     " received_ms INTEGER NOT NULL, data TEXT NOT NULL, vals TEXT NOT NULL);"
     "CREATE INDEX readings_by_site_time ON readings (uid, received_ms);"
     "CREATE TABLE sites (uid INTEGER PRIMARY KEY, readings INTEGER NOT NULL);"},
    {2,
     "ALTER TABLE readings ADD COLUMN taken_ms INTEGER NOT NULL DEFAULT 0;"
     "ALTER TABLE readings ADD COLUMN own_time INTEGER NOT NULL DEFAULT 0;"
     "UPDATE readings SET taken_ms = received_ms;"
     "DROP INDEX readings_by_site_time;"
     "CREATE INDEX readings_by_site_time ON readings (uid, taken_ms);"
     "CREATE UNIQUE INDEX readings_once ON readings (uid, taken_ms) WHERE own_time;"},
    // The alerts firing now: position 0 and no value for a rule on silence.
    {4,
     "CREATE TABLE firing_alerts (rule TEXT NOT NULL, uid INTEGER NOT NULL,"
     " position INTEGER NOT NULL, value REAL, time_ms INTEGER NOT NULL,"
     " PRIMARY KEY (rule, uid));"},
};

// A lock another program holds is waited for this long, within the store's
// time-out.
constexpr int BusyTimeoutMs = StoreTimeoutMs - 500;

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Resets a statement when a use of it ends, however it ends.
class Use {
  public:
    explicit Use(const Statement& statement) : statement_(statement.get()) {}
    ~Use() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    sqlite3_stmt* operator*() const { return statement_; }

  private:
    sqlite3_stmt* statement_;
};

void bindText(sqlite3_stmt* statement, int index, std::string_view text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

std::string columnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text == nullptr ? std::string()
                           : std::string(text, sqlite3_column_bytes(statement, column));
}

void bindRange(sqlite3_stmt* statement, const ReadingRange& range) {
    sqlite3_bind_int(statement, 1, range.uid);
    sqlite3_bind_int64(statement, 2, range.fromMs);
    sqlite3_bind_int64(statement, 3, range.toMs);
}

}  // namespace

struct SqliteStore::Connection {
    sqlite3* db = nullptr;
    Statement begin, commit, rollback, insertReading, countSite;
    Statement listSites, readPage, newestKey, widestReading;

    ~Connection() { sqlite3_close_v2(db); }  // closes once the statements are finalized

    bool fail(std::string& error) const {
        error = db == nullptr ? "out of memory" : sqlite3_errmsg(db);
        return false;
    }
    bool prepare(const char* sql, Statement& statement, std::string& error) {
        sqlite3_stmt* prepared = nullptr;
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &prepared, nullptr) !=
            SQLITE_OK)
            return fail(error);
        statement.reset(prepared);
        return true;
    }
    bool open(const std::string& path, int flags, std::string& error) {
        if (sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
            return fail(error);
        sqlite3_busy_timeout(db, BusyTimeoutMs);
        return true;
    }
    bool prepareReading(std::string& error) {
        return prepare(
                   "SELECT s.uid, s.readings, r.taken_ms, r.id, r.received_ms, r.data FROM sites s"
                   " JOIN readings r ON r.id = (SELECT id FROM readings WHERE uid = s.uid"
                   " ORDER BY taken_ms DESC, id DESC LIMIT 1) ORDER BY s.uid",
                   listSites, error) &&
               prepare(
                   "SELECT taken_ms, id, received_ms, data FROM readings WHERE uid = ?1"
                   " AND taken_ms >= ?2 AND taken_ms < ?3 AND (taken_ms, id) > (?4, ?5)"
                   " ORDER BY taken_ms, id LIMIT ?6",
                   readPage, error) &&
               prepare(
                   "SELECT taken_ms, id FROM readings WHERE uid = ?1 AND taken_ms >= ?2"
                   " AND taken_ms < ?3 ORDER BY taken_ms DESC, id DESC LIMIT 1 OFFSET ?4",
                   newestKey, error) &&
               prepare(
                   "SELECT coalesce(max(json_array_length(vals)), 0) FROM readings"
                   " WHERE uid = ?1 AND taken_ms >= ?2 AND taken_ms < ?3",
                   widestReading, error);
    }
    bool prepareWriting(std::string& error) {
        return prepare("BEGIN IMMEDIATE", begin, error) && prepare("COMMIT", commit, error) &&
               prepare("ROLLBACK", rollback, error) &&
               prepare(
                   "INSERT OR IGNORE INTO readings (uid, taken_ms, received_ms, own_time, data, "
                   "vals)"
                   " VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
                   insertReading, error) &&
               prepare(
                   "INSERT INTO sites (uid, readings) VALUES (?1, ?2) ON CONFLICT (uid)"
                   " DO UPDATE SET readings = readings + excluded.readings",
                   countSite, error);
    }
    bool run(const Statement& statement) const {
        Use use(statement);
        return sqlite3_step(*use) == SQLITE_DONE;
    }
    bool execute(const char* sql, std::string& error) const {
        return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK || fail(error);
    }
    // The first column of the first row a statement answers with.
    std::string firstText(const char* sql) {
        std::string error;
        Statement statement;
        if (!prepare(sql, statement, error) || sqlite3_step(statement.get()) != SQLITE_ROW)
            return {};
        return columnText(statement.get(), 0);
    }
    bool upgradeSchema(std::string& error) {
        if (!execute("BEGIN IMMEDIATE;"
                     " CREATE TABLE IF NOT EXISTS dkq_schema (version INTEGER NOT NULL)",
                     error))
            return false;
        const bool upgraded = applySchemaSteps(error);
        return execute(upgraded ? "COMMIT" : "ROLLBACK", error) && upgraded;
    }
    bool applySchemaSteps(std::string& error) {
        const int found =
            std::atoi(firstText("SELECT coalesce(max(version), 0) FROM dkq_schema").c_str());
        if (!schemaKnown(found, error)) return false;
        for (const SchemaStep& step : SchemaSteps) {
            if (step.version > found && !execute(step.sql, error)) return false;
        }
        Statement setVersion;
        if (!execute("DELETE FROM dkq_schema", error) ||
            !prepare("INSERT INTO dkq_schema (version) VALUES (?1)", setVersion, error))
            return false;
        sqlite3_bind_int(setVersion.get(), 1, SchemaVersion);
        return sqlite3_step(setVersion.get()) == SQLITE_DONE || fail(error);
    }
};

// A read connection taken from the pool for one query, given back after.
class SqliteStore::Reader {
  public:
    explicit Reader(SqliteStore& store) : store_(store) {
        std::lock_guard lock(store.readersMutex_);
        if (store.idleReaders_.empty()) return;
        connection_ = std::move(store.idleReaders_.back());
        store.idleReaders_.pop_back();
    }
    ~Reader() {
        if (!connection_) return;
        std::lock_guard lock(store_.readersMutex_);
        store_.idleReaders_.push_back(std::move(connection_));
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    Connection* connection() {
        std::string error;
        if (!connection_) {
            auto opened = std::make_unique<Connection>();
            if (!opened->open(store_.path_, SQLITE_OPEN_READONLY, error) ||
                !opened->prepareReading(error)) {
                std::fprintf(stderr, "dkq-collector: sqlite: %s\n", error.c_str());
                return nullptr;
            }
            connection_ = std::move(opened);
        }
        return connection_.get();
    }
    // Whether the last step of a query succeeded; the reason on standard
    // error when not.
    bool succeeded(int result) {
        if (result == SQLITE_DONE || result == SQLITE_ROW) return true;
        std::fprintf(stderr, "dkq-collector: sqlite: %s\n", sqlite3_errmsg(connection_->db));
        return false;
    }

  private:
    SqliteStore& store_;
    std::unique_ptr<Connection> connection_;
};

SqliteStore::SqliteStore(std::string path) : path_(std::move(path)) {}

SqliteStore::~SqliteStore() = default;

std::unique_ptr<SqliteStore> SqliteStore::open(const std::string& path, std::string& error) {
    std::unique_ptr<SqliteStore> store(new SqliteStore(path));
    auto writer = std::make_unique<Connection>();
    if (!writer->open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error)) return nullptr;
    if (writer->firstText("PRAGMA journal_mode = WAL") != "wal") {
        error = path + ": cannot switch to write-ahead logging";
        return nullptr;
    }
    if (!writer->execute("PRAGMA synchronous = FULL", error) || !writer->upgradeSchema(error) ||
        !writer->prepareWriting(error))
        return nullptr;
    store->writer_ = std::move(writer);
    return store;
}

bool SqliteStore::storeReadings(std::span<const NewReading> batch) {
    std::lock_guard lock(writerMutex_);
    Connection& writer = *writer_;
    bool stored = writer.run(writer.begin);
    std::string vals;
    std::vector<std::int32_t> added;  // a repeat of a reading adds nothing
    for (const NewReading& reading : batch) {
        if (!stored) break;
        Use insert(writer.insertReading);
        vals.clear();
        appendNumbers(vals, reading.values, '[', ']');
        sqlite3_bind_int(*insert, 1, reading.uid);
        sqlite3_bind_int64(*insert, 2, reading.timeMs);
        sqlite3_bind_int64(*insert, 3, reading.receivedMs);
        sqlite3_bind_int(*insert, 4, reading.ownTime ? 1 : 0);
        bindText(*insert, 5, reading.data);
        bindText(*insert, 6, vals);
        stored = sqlite3_step(*insert) == SQLITE_DONE;
        if (stored && sqlite3_changes(writer.db) == 1) added.push_back(reading.uid);
    }
    for (const SiteCount& site : countsBySite(added)) {
        if (!stored) break;
        Use count(writer.countSite);
        sqlite3_bind_int(*count, 1, site.uid);
        sqlite3_bind_int64(*count, 2, site.readings);
        stored = sqlite3_step(*count) == SQLITE_DONE;
    }
    if (stored && writer.run(writer.commit)) return true;
    std::fprintf(stderr, "dkq-collector: sqlite: %s\n", sqlite3_errmsg(writer.db));
    if (!sqlite3_get_autocommit(writer.db)) writer.run(writer.rollback);
    return false;
}

bool SqliteStore::listSites(std::vector<SiteSummary>& sites) {
    Reader reader(*this);
    Connection* connection = reader.connection();
    if (connection == nullptr) return false;
    Use query(connection->listSites);
    sites.clear();
    int result;
    while ((result = sqlite3_step(*query)) == SQLITE_ROW) {
        sites.push_back({sqlite3_column_int(*query, 0),
                         sqlite3_column_int64(*query, 1),
                         {{sqlite3_column_int64(*query, 2), sqlite3_column_int64(*query, 3)},
                          sqlite3_column_int64(*query, 4),
                          columnText(*query, 5)}});
    }
    return reader.succeeded(result);
}

bool SqliteStore::readPage(const ReadingRange& range, const ReadingKey& after, std::size_t count,
                           std::vector<StoredReading>& page) {
    Reader reader(*this);
    Connection* connection = reader.connection();
    if (connection == nullptr) return false;
    Use query(connection->readPage);
    bindRange(*query, range);
    // The index is searched from the later of the two lower bounds; SQLite
    // would take the range's own and step over every reading before `after`.
    sqlite3_bind_int64(*query, 2, std::max(range.fromMs, after.timeMs));
    sqlite3_bind_int64(*query, 4, after.timeMs);
    sqlite3_bind_int64(*query, 5, after.id);
    sqlite3_bind_int64(*query, 6, static_cast<sqlite3_int64>(count));
    page.clear();
    int result;
    while ((result = sqlite3_step(*query)) == SQLITE_ROW) {
        page.push_back({{sqlite3_column_int64(*query, 0), sqlite3_column_int64(*query, 1)},
                        sqlite3_column_int64(*query, 2),
                        columnText(*query, 3)});
    }
    return reader.succeeded(result);
}

bool SqliteStore::newestKey(const ReadingRange& range, std::size_t newer, ReadingKey& key,
                            bool& found) {
    Reader reader(*this);
    Connection* connection = reader.connection();
    if (connection == nullptr) return false;
    Use query(connection->newestKey);
    bindRange(*query, range);
    sqlite3_bind_int64(*query, 4, static_cast<sqlite3_int64>(newer));
    const int result = sqlite3_step(*query);
    found = result == SQLITE_ROW;
    if (found) key = {sqlite3_column_int64(*query, 0), sqlite3_column_int64(*query, 1)};
    return reader.succeeded(result);
}

bool SqliteStore::widestReading(const ReadingRange& range, std::size_t& values) {
    Reader reader(*this);
    Connection* connection = reader.connection();
    if (connection == nullptr) return false;
    Use query(connection->widestReading);
    bindRange(*query, range);
    const int result = sqlite3_step(*query);
    values = result == SQLITE_ROW ? static_cast<std::size_t>(sqlite3_column_int64(*query, 0)) : 0;
    return reader.succeeded(result);
}

bool SqliteStore::listFiring(std::vector<Alert>& alerts) {
    Reader reader(*this);
    Connection* connection = reader.connection();
    std::string error;
    Statement query;
    if (connection == nullptr ||
        !connection->prepare("SELECT rule, uid, position, value, time_ms FROM firing_alerts"
                             " ORDER BY rule, uid",
                             query, error))
        return false;
    alerts.clear();
    int result;
    while ((result = sqlite3_step(query.get())) == SQLITE_ROW) {
        sqlite3_stmt* row = query.get();
        alerts.push_back({columnText(row, 0), sqlite3_column_int(row, 1),
                          sqlite3_column_int(row, 2), std::nullopt, sqlite3_column_int64(row, 4)});
        if (sqlite3_column_type(row, 3) != SQLITE_NULL)
            alerts.back().value = sqlite3_column_double(row, 3);
    }
    return reader.succeeded(result);
}

bool SqliteStore::claimFiring(const Alert& alert, bool& claimed) {
    return changeFiring(
        "INSERT INTO firing_alerts (rule, uid, position, value, time_ms)"
        " VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT DO NOTHING",
        alert, claimed);
}

bool SqliteStore::endFiring(const Alert& alert, bool& ended) {
    return changeFiring("DELETE FROM firing_alerts WHERE rule = ?1 AND uid = ?2", alert, ended);
}

// Rare, so prepared for each use, on the writer's connection between its
// commits.
bool SqliteStore::changeFiring(const char* sql, const Alert& alert, bool& changed) {
    std::lock_guard lock(writerMutex_);
    std::string error;
    Statement statement;
    if (!writer_->prepare(sql, statement, error)) {
        std::fprintf(stderr, "dkq-collector: sqlite: %s\n", error.c_str());
        return false;
    }
    sqlite3_stmt* change = statement.get();
    bindText(change, 1, alert.rule);
    sqlite3_bind_int(change, 2, alert.uid);
    if (sqlite3_bind_parameter_count(change) > 2) {
        sqlite3_bind_int(change, 3, alert.position);
        if (alert.value) sqlite3_bind_double(change, 4, *alert.value);
        sqlite3_bind_int64(change, 5, alert.timeMs);
    }
    const bool done = sqlite3_step(change) == SQLITE_DONE;
    if (!done) std::fprintf(stderr, "dkq-collector: sqlite: %s\n", sqlite3_errmsg(writer_->db));
    changed = done && sqlite3_changes(writer_->db) == 1;
    return done;
}

}  // namespace dkq::collector

#include "collector/store/postgres_store.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "collector/base/numbers.h"

namespace dkq::collector {
namespace {

using Deadline = std::chrono::steady_clock::time_point;

// taken is when the site took the reading, received when it arrived; vals
// holds the numbers of the data text (vals[1] is the first). Version 2 added
// the reading's own time, taken to be its arrival for readings stored before.
constexpr SchemaStep SchemaSteps[] = {
    {1,
     "CREATE TABLE readings (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
     " uid integer NOT NULL, received timestamptz NOT NULL, data text NOT NULL,"
     " vals double precision[] NOT NULL);"
     "CREATE INDEX readings_by_site_time ON readings (uid, received, id);"
     "CREATE TABLE sites (uid integer PRIMARY KEY, readings bigint NOT NULL);"},
    {2,
     "ALTER TABLE readings ADD COLUMN taken timestamptz;"
     "UPDATE readings SET taken = received;"
     "ALTER TABLE readings ALTER COLUMN taken SET NOT NULL,"
     " ADD COLUMN own_time boolean NOT NULL DEFAULT false;"
     "DROP INDEX readings_by_site_time;"
     "CREATE INDEX readings_by_site_time ON readings (uid, taken, id);"
     "CREATE UNIQUE INDEX readings_once ON readings (uid, taken) WHERE own_time;"},
    // The alerts firing now: position 0 and no value for a rule on silence.
    {4,
     "CREATE TABLE firing_alerts (rule text NOT NULL, uid integer NOT NULL,"
     " position integer NOT NULL, value double precision, time timestamptz NOT NULL,"
     " PRIMARY KEY (rule, uid));"},
};

// Collectors starting together take turns at creating the schema.
constexpr const char* SchemaLock = "SELECT pg_advisory_xact_lock(4469041)";

// Times travel as milliseconds since 1970 and are kept as timestamptz.
#define DKQ_TIME(n) "(timestamptz 'epoch' + $" #n "::float8 * interval '1 millisecond')"
#define DKQ_MS(column) "(extract(epoch from " column ") * 1000)::int8"

struct Statement {
    const char* name;
    const char* sql;
};
// clang-format off
constexpr Statement Statements[] = {
    {"insert_reading",
     "INSERT INTO readings (uid, taken, received, own_time, data, vals)"
     " VALUES ($1::int4, " DKQ_TIME(2) ", " DKQ_TIME(3) ", $4::bool, $5, $6::float8[])"
     " ON CONFLICT DO NOTHING"},
    {"count_site",
     "INSERT INTO sites (uid, readings) VALUES ($1::int4, $2::int8) ON CONFLICT (uid)"
     " DO UPDATE SET readings = sites.readings + EXCLUDED.readings"},
    {"list_sites",
     "SELECT s.uid, s.readings, " DKQ_MS("r.taken") ", r.id, " DKQ_MS("r.received") ", r.data"
     " FROM sites s JOIN readings r ON r.id = (SELECT id FROM readings WHERE uid = s.uid"
     " ORDER BY taken DESC, id DESC LIMIT 1) ORDER BY s.uid"},
    {"read_page",
     "SELECT " DKQ_MS("taken") ", id, " DKQ_MS("received") ", data FROM readings"
     " WHERE uid = $1::int4 AND taken >= " DKQ_TIME(2) " AND taken < " DKQ_TIME(3)
     " AND (taken, id) > (" DKQ_TIME(4) ", $5::int8)"
     " ORDER BY taken, id LIMIT $6::int8"},
    {"newest_key",
     "SELECT " DKQ_MS("taken") ", id FROM readings"
     " WHERE uid = $1::int4 AND taken >= " DKQ_TIME(2) " AND taken < " DKQ_TIME(3)
     " ORDER BY taken DESC, id DESC LIMIT 1 OFFSET $4::int8"},
    {"widest_reading",
     "SELECT coalesce(max(cardinality(vals)), 0) FROM readings"
     " WHERE uid = $1::int4 AND taken >= " DKQ_TIME(2) " AND taken < " DKQ_TIME(3)},
};
// clang-format on
#undef DKQ_TIME
#undef DKQ_MS

struct ResultClearer {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultClearer>;

bool succeeded(const Result& result, ExecStatusType expected) {
    if (result && PQresultStatus(result.get()) == expected) return true;
    if (result)
        std::fprintf(stderr, "dkq-collector: postgresql: %s", PQresultErrorMessage(result.get()));
    return false;
}

Result execute(PGconn* connection, const char* sql) {
    return Result(PQexec(connection, sql));
}

std::int64_t int64At(const Result& result, int row, int column) {
    return std::strtoll(PQgetvalue(result.get(), row, column), nullptr, 10);
}

std::string textAt(const Result& result, int row, int column) {
    return {PQgetvalue(result.get(), row, column),
            static_cast<std::size_t>(PQgetlength(result.get(), row, column))};
}

std::string errorOf(PGconn* connection) {
    std::string text = PQerrorMessage(connection);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// The server gives up a statement or a lock wait before we give up on the
// server; the URL's own options override these.
constexpr const char* ServerTimeouts = "-c statement_timeout=2500 -c lock_timeout=2000";
// The schema is upgraded at start, when no upload waits and a large table
// may take long: only the connection is limited then.
constexpr auto StartTimeout = std::chrono::seconds(10);

// Waits until the connection's socket is readable, or also writable; false
// at the deadline.
bool waitForSocket(PGconn* connection, bool writing, Deadline deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd socket{PQsocket(connection), static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0};
    const int ready = poll(&socket, 1, static_cast<int>(left.count()));
    return ready > 0 || (ready < 0 && errno == EINTR);
}

// A connection opened by the deadline, in non-blocking mode when limited by
// the server's time-outs; nothing, with the reason, otherwise. The URL's own
// settings override the name given here.
PGconn* openConnection(const std::string& url, Deadline deadline, bool timeLimited,
                       std::string& error) {
    const char* keywords[] = {"application_name", "options", "dbname", nullptr};
    const char* values[] = {"dkq-collector", timeLimited ? ServerTimeouts : "", url.c_str(),
                            nullptr};
    PGconn* connection = PQconnectStartParams(keywords, values, 1);
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (connection != nullptr && PQstatus(connection) != CONNECTION_BAD &&
           state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED) {
        if (!waitForSocket(connection, state == PGRES_POLLING_WRITING, deadline)) {
            error = "the database did not answer";
            PQfinish(connection);
            return nullptr;
        }
        state = PQconnectPoll(connection);
    }
    if (PQstatus(connection) == CONNECTION_OK && PQsetnonblocking(connection, timeLimited) == 0)
        return connection;
    error = connection == nullptr ? "out of memory" : errorOf(connection);
    PQfinish(connection);
    return nullptr;
}

bool upgradeSchema(PGconn* connection, std::string& error) {
    if (!succeeded(execute(connection, "SET client_min_messages TO warning"), PGRES_COMMAND_OK) ||
        !succeeded(execute(connection, "BEGIN"), PGRES_COMMAND_OK) ||
        !succeeded(execute(connection, SchemaLock), PGRES_TUPLES_OK) ||
        !succeeded(execute(connection,
                           "CREATE TABLE IF NOT EXISTS dkq_schema"
                           " (version integer NOT NULL)"),
                   PGRES_COMMAND_OK)) {
        error = errorOf(connection);
        return false;
    }
    const Result stored = execute(connection, "SELECT coalesce(max(version), 0) FROM dkq_schema");
    const int found =
        succeeded(stored, PGRES_TUPLES_OK) ? std::atoi(PQgetvalue(stored.get(), 0, 0)) : -1;
    bool upgraded = found >= 0 && schemaKnown(found, error);
    for (const SchemaStep& step : SchemaSteps) {
        if (upgraded && step.version > found)
            upgraded = succeeded(execute(connection, step.sql), PGRES_COMMAND_OK);
    }
    const std::string version = std::to_string(SchemaVersion);
    const char* values[] = {version.c_str()};
    upgraded =
        upgraded && succeeded(execute(connection, "DELETE FROM dkq_schema"), PGRES_COMMAND_OK) &&
        succeeded(
            Result(PQexecParams(connection, "INSERT INTO dkq_schema (version) VALUES ($1::int4)", 1,
                                nullptr, values, nullptr, nullptr, 0)),
            PGRES_COMMAND_OK);
    if (!upgraded && error.empty()) error = errorOf(connection);
    return succeeded(execute(connection, upgraded ? "COMMIT" : "ROLLBACK"), PGRES_COMMAND_OK) &&
           upgraded;
}

}  // namespace

// A connection of the pool for one operation, which must end by its
// deadline. A connection that broke or did not answer in time is closed when
// given back, and the next lease opens a fresh one.
class PostgresStore::Lease {
  public:
    explicit Lease(PostgresStore& store)
        : store_(store),
          deadline_(std::chrono::steady_clock::now() + std::chrono::milliseconds(StoreTimeoutMs)) {
        std::unique_lock lock(store.mutex_);
        if (!store.returned_.wait_until(
                lock, deadline_, [&] { return !store.idle_.empty() || store.open_ < PoolSize; })) {
            std::fprintf(stderr, "dkq-collector: postgresql: no connection free in time\n");
            return;
        }
        if (!store.idle_.empty()) {
            connection_ = store.idle_.back();
            store.idle_.pop_back();
            return;
        }
        ++store.open_;
        lock.unlock();
        std::string error;
        connection_ = openConnection(store.url_, deadline_, true, error);
        if (connection_ != nullptr && !prepareStatements()) error = "cannot prepare the statements";
        if (connection_ != nullptr && !broken_) return;
        std::fprintf(stderr, "dkq-collector: postgresql: %s\n", error.c_str());
        PQfinish(connection_);
        connection_ = nullptr;
        lock.lock();
        --store.open_;
        store.returned_.notify_one();
    }
    ~Lease() {
        if (connection_ == nullptr) return;
        std::lock_guard lock(store_.mutex_);
        if (PQstatus(connection_) == CONNECTION_OK && !broken_ &&
            PQtransactionStatus(connection_) == PQTRANS_IDLE) {
            store_.idle_.push_back(connection_);
        } else {
            PQfinish(connection_);
            --store_.open_;
        }
        store_.returned_.notify_one();
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    PGconn* connection() const { return connection_; }
    // The connection is in a state nobody should inherit.
    void drop() { broken_ = true; }

    // Sends a prepared statement, its parameters as text (the statement
    // casts them).
    bool send(const char* statement, std::initializer_list<std::string> params) {
        std::vector<const char*> values;
        for (const std::string& param : params) values.push_back(param.c_str());
        return PQsendQueryPrepared(connection_, statement, static_cast<int>(values.size()),
                                   values.data(), nullptr, nullptr, 0) == 1;
    }
    // The next result, once it has arrived; nothing (and the connection
    // dropped) when the server did not send it by the deadline.
    Result next() {
        for (int flushed; (flushed = PQflush(connection_)) != 0 || PQisBusy(connection_);) {
            if (flushed < 0 || !waitForSocket(connection_, flushed == 1, deadline_) ||
                PQconsumeInput(connection_) != 1) {
                std::fprintf(stderr, "dkq-collector: postgresql: %s\n",
                             flushed < 0 ? errorOf(connection_).c_str()
                                         : "the database did not answer in time");
                drop();
                return Result();
            }
        }
        return Result(PQgetResult(connection_));
    }
    // One prepared statement's one result, when it is of the kind expected.
    Result run(const char* statement, std::initializer_list<std::string> params,
               ExecStatusType expected) {
        if (connection_ == nullptr || !send(statement, params)) return Result();
        return only(expected);
    }
    // The same for a rare statement, sent with its parameters rather than
    // prepared on every connection.
    Result runOnce(const char* sql, std::initializer_list<const char*> params,
                   ExecStatusType expected) {
        if (connection_ == nullptr ||
            PQsendQueryParams(connection_, sql, static_cast<int>(params.size()), nullptr,
                              std::data(params), nullptr, nullptr, 0) != 1)
            return Result();
        return only(expected);
    }

  private:
    Result only(ExecStatusType expected) {
        Result result = next();
        if (!succeeded(result, expected) || next()) {
            drop();
            return Result();
        }
        return result;
    }
    // A fresh connection learns the statements, one after the other.
    bool prepareStatements() {
        for (const Statement& statement : Statements) {
            if (PQsendPrepare(connection_, statement.name, statement.sql, 0, nullptr) != 1 ||
                !succeeded(next(), PGRES_COMMAND_OK) || next())
                drop();
            if (broken_) return false;
        }
        return true;
    }

    PostgresStore& store_;
    const Deadline deadline_;
    PGconn* connection_ = nullptr;
    bool broken_ = false;
};

std::unique_ptr<PostgresStore> PostgresStore::open(const std::string& url, std::string& error) {
    std::unique_ptr<PostgresStore> store(new PostgresStore(url));
    PGconn* first =
        openConnection(url, std::chrono::steady_clock::now() + StartTimeout, false, error);
    const bool ready = first != nullptr && upgradeSchema(first, error);
    if (!ready && error.empty()) error = errorOf(first);
    PQfinish(first);
    return ready ? std::move(store) : nullptr;
}

PostgresStore::~PostgresStore() {
    for (PGconn* connection : idle_) PQfinish(connection);
}

// The whole batch goes in one pipeline: every statement between two syncs
// runs in one implicit transaction, committed at the sync, so a batch costs
// two round trips (the readings, then their sites' counts) and one commit.
// Its answers are small, so the server never waits for us to read while we
// send.
bool PostgresStore::storeReadings(std::span<const NewReading> batch) {
    Lease lease(*this);
    PGconn* connection = lease.connection();
    if (connection == nullptr || PQenterPipelineMode(connection) != 1) return false;
    bool stored = true;
    const auto send = [&](const char* statement, std::initializer_list<std::string> params) {
        stored = stored && lease.send(statement, params);
    };
    // The one result of a statement sent; none once something failed, since
    // the server then owes us nothing and waiting would never end.
    const auto received = [&](ExecStatusType expected) {
        if (!stored) return Result();
        Result result = lease.next();
        stored = succeeded(result, expected) && !lease.next();
        return result;
    };
    std::string vals;
    for (const NewReading& reading : batch) {
        vals.clear();
        appendNumbers(vals, reading.values, '{', '}');
        send("insert_reading",
             {std::to_string(reading.uid), std::to_string(reading.timeMs),
              std::to_string(reading.receivedMs), reading.ownTime ? "t" : "f", reading.data, vals});
    }
    stored = stored && PQsendFlushRequest(connection) == 1;
    std::vector<std::int32_t> added;  // a repeat of a reading adds nothing
    for (const NewReading& reading : batch) {
        const Result result = received(PGRES_COMMAND_OK);
        if (stored && std::string_view(PQcmdTuples(result.get())) == "1")
            added.push_back(reading.uid);
    }
    const std::vector<SiteCount> counts = countsBySite(added);
    for (const SiteCount& site : counts)
        send("count_site", {std::to_string(site.uid), std::to_string(site.readings)});
    stored = stored && PQpipelineSync(connection) == 1;
    for (std::size_t i = 0; i < counts.size(); ++i) received(PGRES_COMMAND_OK);
    stored = stored && succeeded(lease.next(), PGRES_PIPELINE_SYNC) &&
             PQexitPipelineMode(connection) == 1;
    if (!stored) {
        std::fprintf(stderr, "dkq-collector: postgresql: %s\n", errorOf(connection).c_str());
        lease.drop();
    }
    return stored;
}

bool PostgresStore::listSites(std::vector<SiteSummary>& sites) {
    Lease lease(*this);
    const Result result = lease.run("list_sites", {}, PGRES_TUPLES_OK);
    if (!result) return false;
    sites.clear();
    for (int row = 0; row < PQntuples(result.get()); ++row) {
        sites.push_back({static_cast<std::int32_t>(int64At(result, row, 0)),
                         int64At(result, row, 1),
                         {{int64At(result, row, 2), int64At(result, row, 3)},
                          int64At(result, row, 4),
                          textAt(result, row, 5)}});
    }
    return true;
}

bool PostgresStore::readPage(const ReadingRange& range, const ReadingKey& after, std::size_t count,
                             std::vector<StoredReading>& page) {
    Lease lease(*this);
    const Result result = lease.run(
        "read_page",
        {std::to_string(range.uid), std::to_string(range.fromMs), std::to_string(range.toMs),
         std::to_string(after.timeMs), std::to_string(after.id), std::to_string(count)},
        PGRES_TUPLES_OK);
    if (!result) return false;
    page.clear();
    for (int row = 0; row < PQntuples(result.get()); ++row)
        page.push_back({{int64At(result, row, 0), int64At(result, row, 1)},
                        int64At(result, row, 2),
                        textAt(result, row, 3)});
    return true;
}

bool PostgresStore::newestKey(const ReadingRange& range, std::size_t newer, ReadingKey& key,
                              bool& found) {
    Lease lease(*this);
    const Result result = lease.run("newest_key",
                                    {std::to_string(range.uid), std::to_string(range.fromMs),
                                     std::to_string(range.toMs), std::to_string(newer)},
                                    PGRES_TUPLES_OK);
    if (!result) return false;
    found = PQntuples(result.get()) > 0;
    if (found) key = {int64At(result, 0, 0), int64At(result, 0, 1)};
    return true;
}

bool PostgresStore::widestReading(const ReadingRange& range, std::size_t& values) {
    Lease lease(*this);
    const Result result = lease.run(
        "widest_reading",
        {std::to_string(range.uid), std::to_string(range.fromMs), std::to_string(range.toMs)},
        PGRES_TUPLES_OK);
    if (!result) return false;
    values = static_cast<std::size_t>(int64At(result, 0, 0));
    return true;
}

bool PostgresStore::listFiring(std::vector<Alert>& alerts) {
    Lease lease(*this);
    const Result result = lease.runOnce(
        "SELECT rule, uid, position, value, (extract(epoch from time) * 1000)::int8"
        " FROM firing_alerts ORDER BY rule, uid",
        {}, PGRES_TUPLES_OK);
    if (!result) return false;
    alerts.clear();
    for (int row = 0; row < PQntuples(result.get()); ++row) {
        alerts.push_back(
            {textAt(result, row, 0), static_cast<std::int32_t>(int64At(result, row, 1)),
             static_cast<int>(int64At(result, row, 2)), std::nullopt, int64At(result, row, 4)});
        if (!PQgetisnull(result.get(), row, 3))
            alerts.back().value = std::strtod(PQgetvalue(result.get(), row, 3), nullptr);
    }
    return true;
}

bool PostgresStore::claimFiring(const Alert& alert, bool& claimed) {
    std::string value;
    if (alert.value) appendNumber(value, *alert.value);
    const std::string uid = std::to_string(alert.uid), position = std::to_string(alert.position),
                      time = std::to_string(alert.timeMs);
    return changedOne(
        "INSERT INTO firing_alerts (rule, uid, position, value, time) VALUES ($1, $2::int4,"
        " $3::int4, $4::float8, timestamptz 'epoch' + $5::float8 * interval '1 millisecond')"
        " ON CONFLICT DO NOTHING",
        {alert.rule.c_str(), uid.c_str(), position.c_str(), alert.value ? value.c_str() : nullptr,
         time.c_str()},
        claimed);
}

bool PostgresStore::endFiring(const Alert& alert, bool& ended) {
    const std::string uid = std::to_string(alert.uid);
    return changedOne("DELETE FROM firing_alerts WHERE rule = $1 AND uid = $2::int4",
                      {alert.rule.c_str(), uid.c_str()}, ended);
}

bool PostgresStore::changedOne(const char* sql, std::initializer_list<const char*> params,
                               bool& changed) {
    Lease lease(*this);
    const Result result = lease.runOnce(sql, params, PGRES_COMMAND_OK);
    changed = result && std::string_view(PQcmdTuples(result.get())) == "1";
    return static_cast<bool>(result);
}

}  // namespace dkq::collector

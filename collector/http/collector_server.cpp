#include "collector/http/collector_server.h"

#include <microhttpd.h>
#include <netdb.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "collector/api/reading_views.h"
#include "collector/base/instant.h"

namespace dkq::collector {
namespace {

constexpr unsigned Threads = 4;
constexpr unsigned ConnectionLimit = 512;
// One address never takes every connection: the others' uploads get in.
constexpr unsigned ConnectionLimitPerAddress = ConnectionLimit / 2;
constexpr unsigned IdleTimeoutSeconds = 15;
// The request line and headers of a connection must fit in this.
constexpr std::size_t ConnectionMemory = std::size_t{16} * 1024;
constexpr std::size_t PageReadings = 1000;
constexpr std::size_t StreamBlock = std::size_t{64} * 1024;
constexpr std::size_t DefaultLimit = 1000;
constexpr std::size_t MaxLimit = 10000;
constexpr auto StopGrace = std::chrono::seconds(10);

constexpr const char* PlainText = "text/plain; charset=utf-8";
constexpr const char* Json = "application/json";

bool answer(MHD_Connection* connection, unsigned status, std::string_view body,
            const char* type = PlainText, bool close = false) {
    MHD_Response* response = MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) return false;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    if (close) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued == MHD_YES;
}

bool databaseFailed(MHD_Connection* connection) {
    return answer(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "the database did not answer\n");
}

std::vector<QueryField> queryFields(MHD_Connection* connection) {
    std::vector<QueryField> fields;
    MHD_get_connection_values_n(
        connection, MHD_GET_ARGUMENT_KIND,
        [](void* list, MHD_ValueKind, const char* name, std::size_t nameSize, const char* value,
           std::size_t valueSize) {
            std::optional<std::string_view> text;
            if (value != nullptr) text = std::string_view(value, valueSize);
            static_cast<std::vector<QueryField>*>(list)->push_back({{name, nameSize}, text});
            return MHD_YES;
        },
        &fields);
    return fields;
}

std::optional<std::size_t> readCount(std::string_view text, std::size_t max) {
    std::size_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || count < 1 ||
        count > max)
        return std::nullopt;
    return count;
}

struct ReadingQuery {
    ReadingRange range{0, EarliestMs, LatestMs};
    bool fromGiven = false;
    bool toGiven = false;
    std::size_t limit = DefaultLimit;
    std::size_t points = 0;  // no series
};

// What is wrong with the query, or nothing.
const char* readReadingQuery(std::span<const QueryField> fields, ReadingQuery& query) {
    const auto uid = readUid(fieldValue(fields, "uid").value_or(""));
    if (!uid) return "uid is needed, a number\n";
    query.range.uid = *uid;
    for (const auto& [name, ms, given] : {std::tuple{"from", &query.range.fromMs, &query.fromGiven},
                                          {"to", &query.range.toMs, &query.toGiven}}) {
        const auto text = fieldValue(fields, name);
        if (!text) continue;
        const auto time = readIsoTime(*text);
        if (!time) return "from and to are UTC times: 2024-03-05T09:07:02.123Z\n";
        *ms = *time;
        *given = true;
    }
    if (const auto text = fieldValue(fields, "limit")) {
        const auto limit = readCount(*text, MaxLimit);
        if (!limit) return "limit is a count from 1 to 10000\n";
        query.limit = *limit;
    }
    if (const auto text = fieldValue(fields, "points")) {
        const auto points = readCount(*text, MaxSeriesPoints);
        if (!points) return "points is a count from 1 to 2000\n";
        query.points = *points;
    }
    return nullptr;
}

}  // namespace

// An upload waiting for its commit; its connection is suspended meanwhile.
class CollectorServer::PendingUpload : public GroupCommit::Entry {
  public:
    PendingUpload(CollectorServer& server, MHD_Connection* connection)
        : server_(server), connection_(connection) {}
    void committed(bool stored) override {
        stored_ = stored;
        --server_.waitingUploads_;
        MHD_resume_connection(connection_);
    }
    bool stored() const { return stored_; }

  private:
    CollectorServer& server_;
    MHD_Connection* connection_;
    std::atomic<bool> stored_ = false;
};

// A JSON array or a CSV table of readings, read from the store a page at a
// time while it is sent, so an answer of any length takes little memory.
class CollectorServer::ReadingStream {
  public:
    ReadingStream(ReadingStore& store, const ReadingRange& range, const ReadingKey& after,
                  std::size_t limit, bool csv)
        : store_(store), range_(range), after_(after), left_(limit), csv_(csv) {}

    // The first page; false when the store failed.
    bool start() { return fill(); }

    static ssize_t read(void* self, std::uint64_t, char* buffer, std::size_t max) {
        auto& stream = *static_cast<ReadingStream*>(self);
        while (stream.sent_ == stream.text_.size()) {
            if (stream.ended_) return MHD_CONTENT_READER_END_OF_STREAM;
            stream.text_.clear();
            stream.sent_ = 0;
            if (!stream.fill()) return MHD_CONTENT_READER_END_WITH_ERROR;
        }
        const std::size_t count = std::min(max, stream.text_.size() - stream.sent_);
        // Bytes of the answer body, not a C string: no terminating NUL belongs in it.
        // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
        std::memcpy(buffer, stream.text_.data() + stream.sent_, count);
        stream.sent_ += count;
        return static_cast<ssize_t>(count);
    }
    static void free(void* self) { delete static_cast<ReadingStream*>(self); }

  private:
    bool fill() {
        const std::size_t asked = std::min(left_, PageReadings);
        if (asked > 0 && !store_.readPage(range_, after_, asked, page_)) return false;
        if (asked == 0) page_.clear();
        for (const StoredReading& reading : page_) {
            if (csv_) {
                if (rows_ == 0) text_ += csvHeader(reading.data);
                appendCsvRow(text_, reading);
            } else {
                text_ += rows_ == 0 ? '[' : ',';
                appendJsonReading(text_, reading);
            }
            ++rows_;
            after_ = reading.key;
        }
        left_ -= page_.size();
        if (page_.size() < asked || left_ == 0) {
            ended_ = true;
            if (csv_ && rows_ == 0) text_ += csvHeader("");
            if (!csv_) text_ += rows_ == 0 ? "[]" : "]";
        }
        return true;
    }

    ReadingStore& store_;
    const ReadingRange range_;
    ReadingKey after_;
    std::size_t left_;
    const bool csv_;
    std::vector<StoredReading> page_;
    std::string text_;
    std::size_t sent_ = 0;
    std::size_t rows_ = 0;
    bool ended_ = false;
};

// A request is answered once it has been read whole: an answer queued
// earlier would close the connection. Its state is Started until an upload
// makes it a PendingUpload.
struct CollectorServer::Callbacks {
    static inline char Started;

    static MHD_Result handle(void* self, MHD_Connection* connection, const char* url,
                             const char* method, const char*, const char*, std::size_t* bodySize,
                             void** request) {
        auto& server = *static_cast<CollectorServer*>(self);
        if (*request == nullptr) {
            ++server.inFlight_;
            *request = &Started;
            const bool get = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
                             std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
            if (get) return MHD_YES;
            return answer(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "only GET is served\n") ? MHD_YES
                                                                                           : MHD_NO;
        }
        if (*bodySize > 0) return MHD_NO;  // a GET with a body: closed
        const bool handled =
            *request == &Started
                ? server.route(connection, url, request)
                : server.uploadCommitted(connection, *static_cast<PendingUpload*>(*request));
        return handled ? MHD_YES : MHD_NO;
    }
    static void completed(void* self, MHD_Connection*, void** request, MHD_RequestTerminationCode) {
        if (*request != &Started) delete static_cast<PendingUpload*>(*request);
        *request = nullptr;
        --static_cast<CollectorServer*>(self)->inFlight_;
    }
};

std::optional<ListenAddress> readListenAddress(std::string_view text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    std::string_view host = text.substr(0, colon);
    if (host.starts_with('[') && host.ends_with(']')) host = host.substr(1, host.size() - 2);
    const std::string_view portText = text.substr(colon + 1);
    ListenAddress address{std::string(host), 0};
    const auto [end, error] =
        std::from_chars(portText.data(), portText.data() + portText.size(), address.port);
    if (host.empty() || portText.empty() || error != std::errc() ||
        end != portText.data() + portText.size())
        return std::nullopt;
    return address;
}

CollectorServer::CollectorServer(ReadingStore& store, std::uint32_t key, const WebFiles& web,
                                 AlertMonitor* alerts)
    : store_(store),
      key_(key),
      web_(web),
      alerts_(alerts),
      commits_(
          store,
          alerts == nullptr ? GroupCommit::Stored() : [alerts](std::span<const NewReading> batch) {
              alerts->readingsStored(batch);
          }) {}

CollectorServer::~CollectorServer() {
    stop();
}

std::unique_ptr<CollectorServer> CollectorServer::start(const ListenAddress& address,
                                                        ReadingStore& store, std::uint32_t key,
                                                        const WebFiles& web, AlertMonitor* alerts,
                                                        std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(address.port);
    if (const int failure = getaddrinfo(address.host.c_str(), port.c_str(), &hints, &found)) {
        error = address.host + ": " + gai_strerror(failure);
        return nullptr;
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);
    const bool v6 = found->ai_family == AF_INET6;
    char host[NI_MAXHOST] = "";
    getnameinfo(found->ai_addr, found->ai_addrlen, host, sizeof host, nullptr, 0, NI_NUMERICHOST);

    std::unique_ptr<CollectorServer> server(new CollectorServer(store, key, web, alerts));
    server->daemon_ = MHD_start_daemon(
        MHD_USE_AUTO_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | (v6 ? MHD_USE_IPv6 : 0), 0,
        nullptr, nullptr, &Callbacks::handle, server.get(), MHD_OPTION_SOCK_ADDR, found->ai_addr,
        MHD_OPTION_THREAD_POOL_SIZE, Threads, MHD_OPTION_CONNECTION_LIMIT, ConnectionLimit,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, ConnectionLimitPerAddress,
        MHD_OPTION_CONNECTION_TIMEOUT, IdleTimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        ConnectionMemory, MHD_OPTION_NOTIFY_COMPLETED, &Callbacks::completed, server.get(),
        MHD_OPTION_END);
    if (server->daemon_ == nullptr) {
        error = "cannot listen on " + address.host + ":" + port;
        return nullptr;
    }
    const auto* info = MHD_get_daemon_info(server->daemon_, MHD_DAEMON_INFO_BIND_PORT);
    // Appended piece by piece: GCC 12 -O3 reports a false -Wrestrict on the concatenation.
    std::string where = v6 ? "[" : "";
    where += host;
    where += v6 ? "]:" : ":";
    where += std::to_string(info != nullptr ? info->port : address.port);
    server->where_ = where;
    return server;
}

bool CollectorServer::stop() {
    if (daemon_ == nullptr) return true;
    stopping_ = true;
    const MHD_socket listener = MHD_quiesce_daemon(daemon_);
    const auto deadline = std::chrono::steady_clock::now() + StopGrace;
    while (inFlight_ > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (waitingUploads_ > 0) return false;
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    if (listener != MHD_INVALID_SOCKET) close(listener);
    return true;
}

bool CollectorServer::route(MHD_Connection* connection, std::string_view path, void** request) {
    if (stopping_)
        return answer(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "the collector is stopping\n",
                      PlainText, true);
    const std::vector<QueryField> fields = queryFields(connection);
    if (path.ends_with(".php")) return upload(connection, fields, request);
    if (path == "/api/uids") return sites(connection);
    if (path == "/api/readings") return readings(connection, fields, false);
    if (path == "/export.csv") return readings(connection, fields, true);
    if (path == "/api/alerts")
        return answer(connection, MHD_HTTP_OK, alerts_ ? alerts_->firingJson() : "[]", Json);
    if (path == "/metrics") return metrics(connection);
    if (const WebFile* file = web_.find(path)) return serveFile(connection, *file);
    if (path == "/")
        return answer(connection, MHD_HTTP_NOT_FOUND, "the dashboard's files are not installed\n");
    return reject(connection, Rejection::UnknownPath);
}

bool CollectorServer::upload(MHD_Connection* connection, std::span<const QueryField> fields,
                             void** request) {
    const std::int64_t arrival = nowMs();
    Upload checked = checkUpload(fields, key_, arrival);
    if (checked.rejection != Rejection::None) return reject(connection, checked.rejection);
    auto* pending = new PendingUpload(*this, connection);
    pending->reading = {checked.uid,
                        checked.timeMs.value_or(arrival),
                        arrival,
                        checked.timeMs.has_value(),
                        std::move(checked.data),
                        std::move(checked.values)};
    *request = pending;
    ++waitingUploads_;
    // Suspended before it is queued: a commit may end before we return.
    MHD_suspend_connection(connection);
    commits_.submit(*pending);
    return true;
}

bool CollectorServer::uploadCommitted(MHD_Connection* connection, const PendingUpload& pending) {
    if (pending.stored()) {
        ++stored_;
        return answer(connection, MHD_HTTP_OK, "OK");
    }
    ++failed_;
    return answer(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "not stored: the database failed\n");
}

bool CollectorServer::reject(MHD_Connection* connection, Rejection rejection) {
    for (std::size_t i = 0; i < std::size(Rejections); ++i) {
        if (Rejections[i] == rejection) ++rejected_[i];
    }
    return answer(connection, MHD_HTTP_BAD_REQUEST, std::string(rejectionLine(rejection)) + "\n");
}

// The page may load what it names from this collector alone.
bool CollectorServer::serveFile(MHD_Connection* connection, const WebFile& file) {
    MHD_Response* response = MHD_create_response_from_buffer(
        file.body.size(), const_cast<char*>(file.body.data()), MHD_RESPMEM_PERSISTENT);
    if (response == nullptr) return false;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, file.type);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
    MHD_add_response_header(response, MHD_HTTP_HEADER_X_CONTENT_TYPE_OPTIONS, "nosniff");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_SECURITY_POLICY,
                            "default-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' "
                            "data:; frame-ancestors 'none'");
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return queued == MHD_YES;
}

bool CollectorServer::sites(MHD_Connection* connection) {
    std::vector<SiteSummary> list;
    if (!store_.listSites(list) || !addUsualIntervals(store_, list))
        return databaseFailed(connection);
    return answer(connection, MHD_HTTP_OK, sitesJson(list), Json);
}

bool CollectorServer::readings(MHD_Connection* connection, std::span<const QueryField> fields,
                               bool csv) {
    ReadingQuery query;
    if (const char* problem = readReadingQuery(fields, query))
        return answer(connection, MHD_HTTP_BAD_REQUEST, problem);
    if (query.points > 0 && !csv)
        return series(connection, query.range, query.points, query.fromGiven, query.toGiven);
    // JSON gives the newest `limit` readings of the range, CSV all of them.
    ReadingKey after = BeforeAllReadings;
    std::size_t limit = csv ? SIZE_MAX : query.limit;
    bool found = false;
    if (!csv && !store_.newestKey(query.range, query.limit, after, found))
        return databaseFailed(connection);
    if (!found) after = BeforeAllReadings;
    auto stream = std::make_unique<ReadingStream>(store_, query.range, after, limit, csv);
    if (!stream->start()) return databaseFailed(connection);
    MHD_Response* response = MHD_create_response_from_callback(
        MHD_SIZE_UNKNOWN, StreamBlock, &ReadingStream::read, stream.get(), &ReadingStream::free);
    if (response == nullptr) return false;
    static_cast<void>(stream.release());  // the response frees it
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE,
                            csv ? "text/csv; charset=windows-1250" : Json);
    if (csv) {
        const std::string name =
            "attachment; filename=\"dkq-" + std::to_string(query.range.uid) + ".csv\"";
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_DISPOSITION, name.c_str());
    }
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return queued == MHD_YES;
}

// Without from or to, the series spans the range's first to its newest reading.
bool CollectorServer::series(MHD_Connection* connection, ReadingRange range, std::size_t points,
                             bool fromGiven, bool toGiven) {
    std::vector<StoredReading> page;
    ReadingKey newest;
    bool found = false;
    if (!store_.readPage(range, BeforeAllReadings, 1, page) ||
        !store_.newestKey(range, 0, newest, found))
        return databaseFailed(connection);
    if (page.empty() || !found) return answer(connection, MHD_HTTP_OK, "[]", Json);
    if (!fromGiven) range.fromMs = page.front().key.timeMs;
    if (!toGiven) range.toMs = newest.timeMs + 1;
    SeriesBuckets buckets(range.fromMs, range.toMs, points);
    for (ReadingKey after = BeforeAllReadings;;) {
        if (!store_.readPage(range, after, PageReadings, page)) return databaseFailed(connection);
        for (const StoredReading& reading : page) buckets.add(reading);
        if (page.size() < PageReadings) break;
        after = page.back().key;
    }
    return answer(connection, MHD_HTTP_OK, buckets.json(), Json);
}

bool CollectorServer::metrics(MHD_Connection* connection) {
    std::vector<SiteSummary> list;
    if (!store_.listSites(list)) return databaseFailed(connection);
    UploadCounters counters;
    counters.stored = stored_;
    counters.failed = failed_;
    for (std::size_t i = 0; i < std::size(Rejections); ++i) counters.rejected[i] = rejected_[i];
    std::string text = metricsText(list, counters);
    if (alerts_) alerts_->appendMetrics(text, list);
    return answer(connection, MHD_HTTP_OK, text, "text/plain; version=0.0.4; charset=utf-8");
}

}  // namespace dkq::collector

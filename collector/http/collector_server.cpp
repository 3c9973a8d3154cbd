#include "collector/http/collector_server.h"

#include <microhttpd.h>
#include <netdb.h>
#include <sys/resource.h>
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
// One address never takes many connections: the others' uploads get in.
constexpr unsigned ConnectionLimitPerAddress = 256;
// Past ConnectionPolicy's limit, while it closes the connection that gives way.
constexpr unsigned ConnectionsBeyondLimit = 64;
// A connection whose answer does not move for this long is closed.
constexpr unsigned IdleTimeoutSeconds = 15;
// Room for a request head up to this size, so that one over MaxHeadBytes is
// refused in a line of ours; a larger one still gets libmicrohttpd's refusal.
// Memory the head does not take is never touched.
constexpr std::size_t ConnectionMemory = std::size_t{64} * 1024;
constexpr std::size_t PageReadings = 1000;
constexpr std::size_t StreamBlock = std::size_t{64} * 1024;
constexpr std::size_t DefaultLimit = 1000;
constexpr std::size_t MaxLimit = 10000;
// SIGTERM ends the collector within 5 s: the commits under way end by the
// store's time-out, and then the answers go out.
constexpr auto StopTimeout = std::chrono::milliseconds(StoreTimeoutMs + 1500);

constexpr const char* PlainText = "text/plain; charset=utf-8";
constexpr const char* Json = "application/json";

// Sends the response, which no browser may read as another type than it says.
bool queue(MHD_Connection* connection, unsigned status, MHD_Response* response) {
    if (response == nullptr) return false;
    MHD_add_response_header(response, MHD_HTTP_HEADER_X_CONTENT_TYPE_OPTIONS, "nosniff");
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued == MHD_YES;
}

MHD_Response* textResponse(std::string_view body, const char* type = PlainText) {
    MHD_Response* response = MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response != nullptr) MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    return response;
}

bool answer(MHD_Connection* connection, unsigned status, std::string_view body,
            const char* type = PlainText, bool close = false) {
    MHD_Response* response = textResponse(body, type);
    if (close && response != nullptr)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    return queue(connection, status, response);
}

// The bytes of the request's header lines.
std::size_t headerBytes(MHD_Connection* connection) {
    std::size_t bytes = 0;
    MHD_get_connection_values_n(
        connection, MHD_HEADER_KIND,
        [](void* total, MHD_ValueKind, const char*, std::size_t nameSize, const char*,
           std::size_t valueSize) {
            *static_cast<std::size_t*>(total) += nameSize + valueSize + 4;
            return MHD_YES;
        },
        &bytes);
    return bytes;
}

std::string_view headerValue(MHD_Connection* connection, const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value != nullptr ? value : "";
}

std::string numericHost(const sockaddr* address) {
    char host[NI_MAXHOST] = "";
    const socklen_t length =
        address->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    getnameinfo(address, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST);
    return host;
}

// Thousands of connections need descriptors beyond the usual soft limit of
// 1024: two each (ConnectionPolicy keeps one of its own) and some for the
// store. The limit is what the hard limit leaves room for.
std::size_t connectionsAllowed(std::size_t wanted) {
    constexpr std::size_t OtherFiles = 256;
    rlimit limits{};
    if (getrlimit(RLIMIT_NOFILE, &limits) == 0 && limits.rlim_cur < limits.rlim_max) {
        limits.rlim_cur = limits.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limits);
        getrlimit(RLIMIT_NOFILE, &limits);
    }
    const auto files = static_cast<std::size_t>(limits.rlim_cur);
    const std::size_t needed = OtherFiles + 2 * ConnectionsBeyondLimit;
    if (limits.rlim_cur == RLIM_INFINITY || files >= needed + 2 * wanted) return wanted;
    return std::max<std::size_t>(1, (files - std::min(files, needed)) / 2);
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
    if (!uid) return "uid is needed, a number without leading zeros\n";
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
    // A CSV table has a header `csvValues` values wide.
    ReadingStream(ReadingStore& store, const ReadingRange& range, const ReadingKey& after,
                  std::size_t limit, bool csv, std::size_t csvValues)
        : store_(store), range_(range), after_(after), left_(limit), csv_(csv) {
        if (csv) text_ = csvHeader(csvValues);
    }

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
// earlier would close the connection. Its state is Fresh (or TargetTooLong)
// from its request line on, Started once its head is read, until an upload
// makes it a PendingUpload.
struct CollectorServer::Callbacks {
    static inline char Fresh;
    static inline char TargetTooLong;
    static inline char Started;

    static void* requestLine(void*, const char* target, MHD_Connection*) {
        return std::strlen(target) > MaxTargetBytes ? &TargetTooLong : &Fresh;
    }
    static MHD_Result handle(void* self, MHD_Connection* connection, const char* url,
                             const char* method, const char*, const char*, std::size_t* bodySize,
                             void** request) {
        auto& server = *static_cast<CollectorServer*>(self);
        if (*request == nullptr || *request == &Fresh || *request == &TargetTooLong) {
            ++server.inFlight_;
            server.connections_.headRead(policyOf(connection));
            const bool targetTooLong = *request == &TargetTooLong;
            *request = &Started;
            const bool get = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
                             std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
            bool answered = true;
            if (targetTooLong)
                answered = server.reject(connection, Rejection::TargetTooLong);
            else if (headerBytes(connection) + std::strlen(url) > MaxHeadBytes)
                answered = server.reject(connection, Rejection::HeadTooLarge);
            else if (!get)
                answered = answer(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "only GET is served\n");
            return answered ? MHD_YES : MHD_NO;
        }
        if (*bodySize > 0) return MHD_NO;  // a GET with a body: closed
        const bool handled =
            *request == &Started
                ? server.route(connection, url, request)
                : server.uploadCommitted(connection, *static_cast<PendingUpload*>(*request));
        return handled ? MHD_YES : MHD_NO;
    }
    static void completed(void* self, MHD_Connection* connection, void** request,
                          MHD_RequestTerminationCode) {
        auto& server = *static_cast<CollectorServer*>(self);
        if (*request != nullptr && *request != &Fresh && *request != &TargetTooLong) {
            if (*request != &Started) delete static_cast<PendingUpload*>(*request);
            --server.inFlight_;
            server.connections_.answered(policyOf(connection));
        }
        *request = nullptr;
    }
    static void connection(void* self, MHD_Connection* connection, void** context,
                           MHD_ConnectionNotificationCode code) {
        ConnectionPolicy& policy = static_cast<CollectorServer*>(self)->connections_;
        if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
            policy.closed(static_cast<ConnectionPolicy::Connection*>(*context));
            *context = nullptr;
            return;
        }
        const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        *context = info != nullptr ? policy.opened(info->connect_fd) : nullptr;
    }
    static ConnectionPolicy::Connection* policyOf(MHD_Connection* connection) {
        const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        return info != nullptr ? static_cast<ConnectionPolicy::Connection*>(info->socket_context)
                               : nullptr;
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

CollectorServer::CollectorServer(const ServerSettings& settings, ReadingStore& store,
                                 const WebFiles& web)
    : settings_(settings),
      store_(store),
      web_(web),
      connections_(settings.connectionLimit),
      commits_(
          store, settings.alerts == nullptr
                     ? GroupCommit::Stored()
                     : [alerts = settings.alerts](std::span<const NewReading> batch) {
                           alerts->readingsStored(batch);
                       }) {}

CollectorServer::~CollectorServer() {
    stop();
}

std::unique_ptr<CollectorServer> CollectorServer::start(const ServerSettings& settings,
                                                        ReadingStore& store, const WebFiles& web,
                                                        std::string& error) {
    const ListenAddress& address = settings.listen;
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
    const bool tls = !settings.tlsCertificate.empty();
    if (tls && MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
        error = "this libmicrohttpd has no TLS";
        return nullptr;
    }
    ServerSettings kept = settings;
    kept.connectionLimit = connectionsAllowed(settings.connectionLimit);
    std::unique_ptr<CollectorServer> server(new CollectorServer(kept, store, web));
    const unsigned perAddress = settings.trustedProxy.empty() ? ConnectionLimitPerAddress : 0;
    server->daemon_ = MHD_start_daemon(
        MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_ITC | MHD_ALLOW_SUSPEND_RESUME |
            (v6 ? MHD_USE_IPv6 : 0) | (tls ? MHD_USE_TLS : 0),
        0, nullptr, nullptr, &Callbacks::handle, server.get(), MHD_OPTION_SOCK_ADDR, found->ai_addr,
        MHD_OPTION_THREAD_POOL_SIZE, Threads, MHD_OPTION_CONNECTION_LIMIT,
        static_cast<unsigned>(kept.connectionLimit + ConnectionsBeyondLimit),
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, perAddress, MHD_OPTION_CONNECTION_TIMEOUT,
        IdleTimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT, ConnectionMemory,
        MHD_OPTION_NOTIFY_COMPLETED, &Callbacks::completed, server.get(),
        MHD_OPTION_NOTIFY_CONNECTION, &Callbacks::connection, server.get(),
        MHD_OPTION_URI_LOG_CALLBACK, &Callbacks::requestLine, server.get(),
        MHD_OPTION_HTTPS_MEM_CERT, tls ? server->settings_.tlsCertificate.c_str() : nullptr,
        MHD_OPTION_HTTPS_MEM_KEY, tls ? server->settings_.tlsKey.c_str() : nullptr, MHD_OPTION_END);
    if (server->daemon_ == nullptr) {
        error = "cannot listen on " + address.host + ":" + port +
                (tls ? " (or the certificate and key do not make a pair)" : "");
        return nullptr;
    }
    const auto* info = MHD_get_daemon_info(server->daemon_, MHD_DAEMON_INFO_BIND_PORT);
    // Appended piece by piece: GCC 12 -O3 reports a false -Wrestrict on the concatenation.
    std::string where = tls ? "https " : "http ";
    where += v6 ? "[" : "";
    where += numericHost(found->ai_addr);
    where += v6 ? "]:" : ":";
    where += std::to_string(info != nullptr ? info->port : address.port);
    server->where_ = where;
    return server;
}

bool CollectorServer::stop() {
    if (daemon_ == nullptr) return true;
    stopping_ = true;
    const auto deadline = std::chrono::steady_clock::now() + StopTimeout;
    const MHD_socket listener = MHD_quiesce_daemon(daemon_);
    commits_.stop();
    while (inFlight_ > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (waitingUploads_ > 0) return false;
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    if (listener != MHD_INVALID_SOCKET) close(listener);
    return true;
}

std::string CollectorServer::clientAddress(MHD_Connection* connection) const {
    const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    std::string peer = info != nullptr ? numericHost(info->client_addr) : "";
    if (settings_.trustedProxy.empty() || peer != settings_.trustedProxy) return peer;
    // The proxy appends the address it took the request from: the last one.
    std::string_view forwarded = headerValue(connection, "X-Forwarded-For");
    forwarded.remove_prefix(std::min(forwarded.size(), forwarded.rfind(',') + 1));
    while (forwarded.starts_with(' ')) forwarded.remove_prefix(1);
    while (forwarded.ends_with(' ')) forwarded.remove_suffix(1);
    return forwarded.empty() ? peer : std::string(forwarded);
}

// With logins, everything but uploads needs one. A failure makes its address
// wait before its next login is checked; meanwhile it is answered 429.
std::optional<bool> CollectorServer::refuseWithoutLogin(MHD_Connection* connection) {
    const std::string_view authorization = headerValue(connection, MHD_HTTP_HEADER_AUTHORIZATION);
    const std::string address = clientAddress(connection);
    const auto now = LoginThrottle::Clock::now();
    const auto wait = std::chrono::ceil<std::chrono::seconds>(logins_.wait(address, now));
    if (wait.count() > 0) {
        MHD_Response* response = textResponse("too many failed logins: try again in " +
                                              std::to_string(wait.count()) + " s\n");
        if (response != nullptr)
            MHD_add_response_header(response, MHD_HTTP_HEADER_RETRY_AFTER,
                                    std::to_string(wait.count()).c_str());
        return queue(connection, MHD_HTTP_TOO_MANY_REQUESTS, response);
    }
    if (!authorization.empty() && settings_.users->check(authorization)) {
        logins_.succeeded(address);
        return std::nullopt;
    }
    if (!authorization.empty()) logins_.failed(address, now);
    MHD_Response* response = textResponse("a login is needed\n");
    if (response != nullptr)
        MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE,
                                "Basic realm=\"dkq-collector\"");
    return queue(connection, MHD_HTTP_UNAUTHORIZED, response);
}

bool CollectorServer::route(MHD_Connection* connection, std::string_view path, void** request) {
    if (stopping_)
        return answer(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "the collector is stopping\n",
                      PlainText, true);
    const std::vector<QueryField> fields = queryFields(connection);
    if (path.ends_with(".php")) return upload(connection, fields, request);
    if (settings_.users != nullptr) {
        if (const auto refused = refuseWithoutLogin(connection)) return *refused;
    }
    if (path == "/api/uids") return sites(connection);
    if (path == "/api/readings") return readings(connection, fields, false);
    if (path == "/export.csv") return readings(connection, fields, true);
    if (path == "/api/alerts")
        return answer(connection, MHD_HTTP_OK,
                      settings_.alerts != nullptr ? settings_.alerts->firingJson() : "[]", Json);
    if (path == "/metrics") return metrics(connection);
    if (const WebFile* file = web_.find(path)) return serveFile(connection, *file);
    if (path == "/")
        return answer(connection, MHD_HTTP_NOT_FOUND, "the dashboard's files are not installed\n");
    return reject(connection, Rejection::UnknownPath);
}

bool CollectorServer::upload(MHD_Connection* connection, std::span<const QueryField> fields,
                             void** request) {
    const std::int64_t arrival = nowMs();
    Upload checked = checkUpload(fields, settings_.key, arrival);
    if (checked.rejection == Rejection::None && settings_.tokens != nullptr) {
        const SiteAccess access = settings_.tokens->check(
            checked.uid, headerValue(connection, MHD_HTTP_HEADER_AUTHORIZATION));
        if (access == SiteAccess::NoToken) checked.rejection = Rejection::NoToken;
        if (access == SiteAccess::WrongToken) checked.rejection = Rejection::WrongToken;
    }
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
    const unsigned status = rejectionStatus(rejection);
    MHD_Response* response = textResponse(std::string(rejectionLine(rejection)) + "\n");
    if (response == nullptr) return false;
    if (status == MHD_HTTP_UNAUTHORIZED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE,
                                "Bearer realm=\"dkq-collector\"");
    // A refusal of the request's size leaves the rest of it unread: closed.
    if (status == MHD_HTTP_URI_TOO_LONG || status == MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    return queue(connection, status, response);
}

// The page may load what it names from this collector alone.
bool CollectorServer::serveFile(MHD_Connection* connection, const WebFile& file) {
    MHD_Response* response = MHD_create_response_from_buffer(
        file.body.size(), const_cast<char*>(file.body.data()), MHD_RESPMEM_PERSISTENT);
    if (response == nullptr) return false;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, file.type);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_SECURITY_POLICY,
                            "default-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' "
                            "data:; frame-ancestors 'none'");
    return queue(connection, MHD_HTTP_OK, response);
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
    std::size_t csvValues = 0;
    if (csv && !store_.widestReading(query.range, csvValues)) return databaseFailed(connection);
    auto stream =
        std::make_unique<ReadingStream>(store_, query.range, after, limit, csv, csvValues);
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
    return queue(connection, MHD_HTTP_OK, response);
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
    if (settings_.alerts != nullptr) settings_.alerts->appendMetrics(text, list);
    return answer(connection, MHD_HTTP_OK, text, "text/plain; version=0.0.4; charset=utf-8");
}

}  // namespace dkq::collector

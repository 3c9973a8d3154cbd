// The collector's HTTP side on libmicrohttpd: a pool of threads on epoll,
// plain or TLS, a bounded number of connections kept by ConnectionPolicy,
// each with a bounded request line and head. Uploads may need their site's
// token, everything else a login. An upload waits for its group commit
// suspended, holding no thread; the reading endpoints answer from the store,
// long answers page by page while they are sent.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "collector/access/login_throttle.h"
#include "collector/access/site_tokens.h"
#include "collector/access/user_logins.h"
#include "collector/alerts/alert_monitor.h"
#include "collector/api/upload_check.h"
#include "collector/http/connection_policy.h"
#include "collector/http/group_commit.h"
#include "collector/http/web_files.h"
#include "collector/store/reading_store.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace dkq::collector {

struct ListenAddress {
    std::string host;
    std::uint16_t port = 0;
};
// "HOST:PORT", "[IPV6]:PORT"; port 0 lets the system choose.
std::optional<ListenAddress> readListenAddress(std::string_view text);

inline constexpr std::size_t DefaultConnectionLimit = 10000;

struct ServerSettings {
    ListenAddress listen{"127.0.0.1", 8080};
    std::uint32_t key = DefaultUploadKey;
    // PEM texts; TLS when both are given.
    std::string tlsCertificate;
    std::string tlsKey;
    const SiteTokens* tokens = nullptr;  // uploads need their site's token
    const UserLogins* users = nullptr;   // everything but uploads needs a login
    AlertMonitor* alerts = nullptr;      // hears of every stored batch
    // A reverse proxy in front: its requests name their client in
    // X-Forwarded-For.
    std::string trustedProxy;
    std::size_t connectionLimit = DefaultConnectionLimit;
};

class CollectorServer {
  public:
    // Nothing, with the reason in `error`, when it cannot listen there. The
    // dashboard's files are served from `web`, which outlives the server, as
    // do the tokens, users and alerts the settings name; the stored readings
    // are handed to the alerts (when there are any).
    static std::unique_ptr<CollectorServer> start(const ServerSettings& settings,
                                                  ReadingStore& store, const WebFiles& web,
                                                  std::string& error);
    ~CollectorServer();
    CollectorServer(const CollectorServer&) = delete;
    CollectorServer& operator=(const CollectorServer&) = delete;

    // "http 127.0.0.1:8080" or "https ...": where it listens, with the port
    // the system chose.
    const std::string& where() const { return where_; }
    // Takes no new connections, answers what is in flight (uploads not yet
    // committed with 503), closes the rest; within StopTimeout whatever the
    // database does. False when uploads still wait for the database after
    // it: the server cannot be stopped then, only left.
    bool stop();

  private:
    class PendingUpload;
    class ReadingStream;
    struct Callbacks;
    CollectorServer(const ServerSettings& settings, ReadingStore& store, const WebFiles& web);

    // Each answers the request; false when the connection must be closed.
    bool route(MHD_Connection* connection, std::string_view path, void** request);
    std::optional<bool> refuseWithoutLogin(MHD_Connection* connection);
    bool upload(MHD_Connection* connection, std::span<const QueryField> fields, void** request);
    bool uploadCommitted(MHD_Connection* connection, const PendingUpload& pending);
    bool reject(MHD_Connection* connection, Rejection rejection);
    bool serveFile(MHD_Connection* connection, const WebFile& file);
    bool sites(MHD_Connection* connection);
    bool readings(MHD_Connection* connection, std::span<const QueryField> fields, bool csv);
    bool series(MHD_Connection* connection, ReadingRange range, std::size_t points, bool fromGiven,
                bool toGiven);
    bool metrics(MHD_Connection* connection);

    std::string clientAddress(MHD_Connection* connection) const;

    const ServerSettings settings_;
    ReadingStore& store_;
    const WebFiles& web_;
    LoginThrottle logins_;
    ConnectionPolicy connections_;
    GroupCommit commits_;
    MHD_Daemon* daemon_ = nullptr;
    std::string where_;
    std::atomic<bool> stopping_ = false;
    std::atomic<int> inFlight_ = 0;
    std::atomic<int> waitingUploads_ = 0;
    std::atomic<std::uint64_t> stored_ = 0;
    std::atomic<std::uint64_t> failed_ = 0;
    std::array<std::atomic<std::uint64_t>, std::size(Rejections)> rejected_{};
};

}  // namespace dkq::collector

// The collector's HTTP side on libmicrohttpd: a pool of threads, a bounded
// number of connections, each with an idle time-out and a bounded request
// line and headers. An upload waits for its group commit suspended, holding
// no thread; the reading endpoints answer from the store, long answers page
// by page while they are sent.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "collector/alerts/alert_monitor.h"
#include "collector/api/upload_check.h"
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

class CollectorServer {
  public:
    // Nothing, with the reason in `error`, when it cannot listen there. The
    // dashboard's files are served from `web`, the stored readings are
    // handed to `alerts` (when there are any); both outlive the server.
    static std::unique_ptr<CollectorServer> start(const ListenAddress& address, ReadingStore& store,
                                                  std::uint32_t key, const WebFiles& web,
                                                  AlertMonitor* alerts, std::string& error);
    ~CollectorServer();
    CollectorServer(const CollectorServer&) = delete;
    CollectorServer& operator=(const CollectorServer&) = delete;

    // "127.0.0.1:8080": where it listens, with the port the system chose.
    const std::string& where() const { return where_; }
    // Takes no new connections, answers what is in flight, closes the rest.
    // False when uploads still wait for the database after the grace time:
    // the server cannot be stopped then, only left.
    bool stop();

  private:
    class PendingUpload;
    class ReadingStream;
    struct Callbacks;
    CollectorServer(ReadingStore& store, std::uint32_t key, const WebFiles& web,
                    AlertMonitor* alerts);

    // Each answers the request; false when the connection must be closed.
    bool route(MHD_Connection* connection, std::string_view path, void** request);
    bool upload(MHD_Connection* connection, std::span<const QueryField> fields, void** request);
    bool uploadCommitted(MHD_Connection* connection, const PendingUpload& pending);
    bool reject(MHD_Connection* connection, Rejection rejection);
    bool serveFile(MHD_Connection* connection, const WebFile& file);
    bool sites(MHD_Connection* connection);
    bool readings(MHD_Connection* connection, std::span<const QueryField> fields, bool csv);
    bool series(MHD_Connection* connection, ReadingRange range, std::size_t points, bool fromGiven,
                bool toGiven);
    bool metrics(MHD_Connection* connection);

    ReadingStore& store_;
    std::uint32_t key_;
    const WebFiles& web_;
    AlertMonitor* alerts_;
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

// SPDX-License-Identifier: GPL-3.0-or-later
// Which connections the server keeps: each must bring a whole request head
// within HeadTimeout of starting to wait for one (its opening or its last
// answer), or it is closed; and when a new connection would pass the limit,
// the one that has waited longest for its next request gives way. Requests
// being answered are never cut. The server tells it of every connection's
// turns; a connection is closed by shutting its socket down, which the
// server sees as the client leaving.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <set>
#include <thread>

namespace dkq::collector {

inline constexpr auto HeadTimeout = std::chrono::seconds(10);

class ConnectionPolicy {
  public:
    using Clock = std::chrono::steady_clock;
    class Connection;

    explicit ConnectionPolicy(std::size_t limit);
    ~ConnectionPolicy();
    ConnectionPolicy(const ConnectionPolicy&) = delete;
    ConnectionPolicy& operator=(const ConnectionPolicy&) = delete;

    // A connection on socket `fd` opened; it waits for a request. Nothing
    // when its socket cannot be followed (it is then closed at once).
    Connection* opened(int fd);
    // Its request head arrived: it is being answered.
    void headRead(Connection* connection);
    // Its answer went out: it waits for the next request.
    void answered(Connection* connection);
    // The server closed it; `connection` is gone.
    void closed(Connection* connection);

  private:
    using Waiting = std::pair<Clock::time_point, Connection*>;
    void wait(Connection* connection, Clock::time_point since);
    void shut(Connection* connection);
    void closeLate();

    const std::size_t limit_;
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
    std::size_t open_ = 0;
    std::set<Waiting> waiting_;
    std::thread closer_;
};

}  // namespace dkq::collector

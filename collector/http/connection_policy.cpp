// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/http/connection_policy.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>

namespace dkq::collector {

// The connection's socket through a descriptor of our own, so that it is
// never one the system has meanwhile given to another file: the server
// closes its own descriptor when it likes.
class ConnectionPolicy::Connection {
  public:
    explicit Connection(int socket) : socket_(socket) {}
    ~Connection() { close(socket_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    void shutDown() const { shutdown(socket_, SHUT_RDWR); }

    std::optional<Clock::time_point> waitingSince;

  private:
    const int socket_;
};

ConnectionPolicy::ConnectionPolicy(std::size_t limit)
    : limit_(limit), closer_([this] { closeLate(); }) {}

ConnectionPolicy::~ConnectionPolicy() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopped_.notify_one();
    closer_.join();
}

ConnectionPolicy::Connection* ConnectionPolicy::opened(int fd) {
    const int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0) {
        shutdown(fd, SHUT_RDWR);
        return nullptr;
    }
    auto* connection = new Connection(own);
    std::lock_guard lock(mutex_);
    if (++open_ > limit_ && !waiting_.empty()) {
        shut(waiting_.begin()->second);
    }
    wait(connection, Clock::now());
    return connection;
}

void ConnectionPolicy::headRead(Connection* connection) {
    if (connection == nullptr) return;
    std::lock_guard lock(mutex_);
    if (connection->waitingSince) waiting_.erase({*connection->waitingSince, connection});
    connection->waitingSince.reset();
}

void ConnectionPolicy::answered(Connection* connection) {
    if (connection == nullptr) return;
    std::lock_guard lock(mutex_);
    if (!connection->waitingSince) wait(connection, Clock::now());
}

void ConnectionPolicy::closed(Connection* connection) {
    if (connection == nullptr) return;
    {
        std::lock_guard lock(mutex_);
        if (connection->waitingSince) waiting_.erase({*connection->waitingSince, connection});
        --open_;
    }
    delete connection;
}

void ConnectionPolicy::wait(Connection* connection, Clock::time_point since) {
    connection->waitingSince = since;
    waiting_.insert({since, connection});
}

// Shut down, it is waited for no more; the server ends it soon.
void ConnectionPolicy::shut(Connection* connection) {
    connection->shutDown();
    waiting_.erase({*connection->waitingSince, connection});
    connection->waitingSince.reset();
}

void ConnectionPolicy::closeLate() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const Clock::time_point late = Clock::now() - HeadTimeout;
        while (!waiting_.empty() && waiting_.begin()->first <= late) shut(waiting_.begin()->second);
        const Clock::time_point next =
            waiting_.empty() ? Clock::now() + HeadTimeout : waiting_.begin()->first + HeadTimeout;
        stopped_.wait_until(lock, next, [this] { return stopping_; });
    }
}

}  // namespace dkq::collector

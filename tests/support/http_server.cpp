#include "tests/support/http_server.h"

#include "tests/support/collector_process.h"
#include "tests/support/loopback_listener.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

#include <stdexcept>

namespace dkq::test {

HttpServer::HttpServer(HttpMode mode, std::string body, std::deque<int> statuses)
    : mode_(mode), body_(std::move(body)), statuses_(std::move(statuses)) {
    listener_ = listenOnLoopback(16, port_);
    if (pipe(stopPipe_) != 0) throw std::runtime_error("http server cannot listen");
    thread_ = std::thread([this] { serve(); });
}

HttpServer::~HttpServer() {
    [[maybe_unused]] auto n = write(stopPipe_[1], "x", 1);
    thread_.join();
    for (const int connection : heldConnections_) close(connection);
    close(listener_);
    close(stopPipe_[0]);
    close(stopPipe_[1]);
}

std::vector<HttpRequest> HttpServer::requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

// Waits up to timeoutMs (-1: for ever) for fd or the stop pipe; false when stopping.
static bool waitFor(int fd, short events, int stopFd, int timeoutMs) {
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    poll(fds, 2, timeoutMs);
    return (fds[1].revents & POLLIN) == 0;
}

void HttpServer::serve() {
    while (waitFor(listener_, POLLIN, stopPipe_[0], -1)) {
        const int connection = accept(listener_, nullptr, nullptr);
        if (connection < 0) continue;
        if (mode_ == HttpMode::CloseAtOnce) {
            close(connection);
            continue;
        }
        if (readRequest(connection)) respond(connection);
        if (mode_ == HttpMode::Silent)
            heldConnections_.push_back(connection);
        else
            close(connection);
    }
}

// Reads the request and notes its target, user agent and body.
bool HttpServer::readRequest(int connection) {
    std::string head;
    for (;;) {
        const std::size_t end = head.find("\r\n\r\n");
        const std::size_t at = head.find("\r\nContent-Length: ");
        const std::size_t length = end != std::string::npos && at < end
                                       ? std::min(std::stoul(head.substr(at + 18)), 65536UL)
                                       : 0;
        if (end == std::string::npos ? head.size() >= 65536 : head.size() >= end + 4 + length)
            break;
        if (!waitFor(connection, POLLIN, stopPipe_[0], 5000)) return false;
        char buf[4096];
        const ssize_t n = recv(connection, buf, sizeof buf, 0);
        if (n <= 0) return false;
        head.append(buf, static_cast<std::size_t>(n));
    }
    HttpRequest request;
    request.body = head.substr(head.find("\r\n\r\n") + 4);
    const std::size_t targetStart = head.find(' ') + 1;
    request.target = head.substr(targetStart, head.find(' ', targetStart) - targetStart);
    const std::string agentKey = "\r\nUser-Agent: ";
    if (const std::size_t agent = head.find(agentKey); agent != std::string::npos) {
        const std::size_t start = agent + agentKey.size();
        request.userAgent = head.substr(start, head.find("\r\n", start) - start);
    }
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    return true;
}

void HttpServer::failNext(int count) {
    std::lock_guard lock(mutex_);
    statuses_.insert(statuses_.begin(), static_cast<std::size_t>(count), 503);
}

void HttpServer::respond(int connection) {
    switch (mode_) {
        case HttpMode::Answer: {
            int status = 200;
            {
                std::lock_guard lock(mutex_);
                if (!statuses_.empty()) {
                    status = statuses_.front();
                    statuses_.pop_front();
                }
            }
            sendAll(connection, "HTTP/1.1 " + std::to_string(status) +
                                    " -\r\nContent-Length: " + std::to_string(body_.size()) +
                                    "\r\nConnection: close\r\n\r\n" + body_);
            return;
        }
        case HttpMode::Forward: {
            std::string target;
            {
                std::lock_guard lock(mutex_);
                target = requests_.back().target;
            }
            HttpAnswer answer;
            try {
                answer = httpGet(upstreamPort_, target);
            } catch (const std::runtime_error&) {
                return;  // the server is away
            }
            if (answersToLose_-- <= 0)
                sendAll(connection,
                        "HTTP/1.1 " + std::to_string(answer.status) +
                            " -\r\nContent-Length: " + std::to_string(answer.body.size()) +
                            "\r\nConnection: close\r\n\r\n" + answer.body);
            return;
        }
        case HttpMode::EndlessBody: {
            if (!sendAll(connection, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")) return;
            const std::string chunk(4096, 'x');
            while (sendAll(connection, chunk)) {
            }
            return;
        }
        default:
            return;
    }
}

// False when the peer has gone or the server stops.
bool HttpServer::sendAll(int connection, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        if (!waitFor(connection, POLLOUT, stopPipe_[0], 5000)) return false;
        const ssize_t n =
            send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN) return false;
        if (n > 0) sent += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace dkq::test

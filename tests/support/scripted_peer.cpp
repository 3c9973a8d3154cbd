#include "tests/support/scripted_peer.h"

#include "tests/support/loopback_listener.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace dkq::test {

ScriptedPeer::ScriptedPeer(std::vector<ScriptedReply> replies) : replies_(std::move(replies)) {
    listener_ = listenOnLoopback(4, port_);
    if (pipe(stopPipe_) != 0) throw std::runtime_error("pipe failed");
    thread_ = std::thread([this] { serve(); });
}

ScriptedPeer::~ScriptedPeer() {
    [[maybe_unused]] auto n = write(stopPipe_[1], "x", 1);
    thread_.join();
    close(listener_);
    close(stopPipe_[0]);
    close(stopPipe_[1]);
}

std::vector<std::string> ScriptedPeer::requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> ScriptedPeer::awaitRequests(const std::string& request, int times) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (;;) {
        const auto seen = requests();
        if (std::count(seen.begin(), seen.end(), request) >= times ||
            std::chrono::steady_clock::now() > deadline)
            return seen;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Waits for `fd` or the stop pipe; false when stopping.
static bool waitFor(int fd, int stopFd, int timeoutMs = -1) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    poll(fds, 2, timeoutMs);
    return (fds[1].revents & POLLIN) == 0;
}

bool ScriptedPeer::answer(int connection, const ScriptedReply& reply) {
    for (const auto& piece : reply.pieces) {
        if (!waitFor(-1, stopPipe_[0], piece.delayMs)) return false;
        send(connection, piece.bytes.data(), piece.bytes.size(), MSG_NOSIGNAL);
    }
    if (reply.end == ScriptedReply::End::Reset) {
        const linger abort{1, 0};
        setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    return reply.end == ScriptedReply::End::KeepOpen;
}

void ScriptedPeer::serve() {
    size_t next = 0;
    while (waitFor(listener_, stopPipe_[0])) {
        const int connection = accept(listener_, nullptr, nullptr);
        if (connection < 0) continue;
        std::string line;
        bool open = true;
        while (open && waitFor(connection, stopPipe_[0])) {
            char buf[512];
            const ssize_t n = recv(connection, buf, sizeof buf, 0);
            if (n <= 0) break;
            for (ssize_t i = 0; i < n && open; ++i) {
                if (buf[i] == '\n') continue;
                if (buf[i] != '\r') {
                    line.push_back(buf[i]);
                    continue;
                }
                {
                    std::lock_guard lock(mutex_);
                    requests_.push_back(line);
                }
                line.clear();
                if (next < replies_.size()) open = answer(connection, replies_[next++]);
            }
        }
        close(connection);
    }
}

}  // namespace dkq::test

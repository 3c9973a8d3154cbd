// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/smtp_server.h"

#include "tests/support/loopback_listener.h"

namespace dkq::test {

SmtpServer::SmtpServer(int port) : port_(port) {
    listener_ = listenOnLoopback(4, port_);
    thread_ = std::thread([this] { serve(); });
}

SmtpServer::~SmtpServer() {
    shutdown(listener_, SHUT_RDWR);  // ends the accept
    thread_.join();
    close(listener_);
}

std::vector<std::string> SmtpServer::messages() {
    std::lock_guard lock(mutex_);
    return messages_;
}

void SmtpServer::serve() {
    for (int connection; (connection = accept(listener_, nullptr, nullptr)) >= 0;
         close(connection)) {
        const timeval patience{5, 0};
        setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        const auto reply = [&](std::string_view line) {
            send(connection, line.data(), line.size(), MSG_NOSIGNAL);
        };
        reply("220 127.0.0.1\r\n");
        std::string pending, envelope;
        bool data = false;
        char buffer[4096];
        for (ssize_t n; (n = recv(connection, buffer, sizeof buffer, 0)) > 0;) {
            pending.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end;
                 (end = pending.find(data ? "\r\n.\r\n" : "\r\n")) != std::string::npos;) {
                const std::string line = pending.substr(0, data ? end + 2 : end);
                pending.erase(0, end + (data ? 5 : 2));
                if (data) {
                    std::lock_guard lock(mutex_);
                    messages_.push_back(envelope + line);
                    envelope.clear();
                } else if (line.starts_with("MAIL") || line.starts_with("RCPT")) {
                    envelope += line + "\n";
                }
                data = line == "DATA";
                reply(data ? "354 go on\r\n" : line == "QUIT" ? "221 bye\r\n" : "250 ok\r\n");
            }
        }
    }
}

}  // namespace dkq::test

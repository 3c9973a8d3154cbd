// SPDX-License-Identifier: GPL-3.0-or-later
// A mail server on 127.0.0.1 for the alert tests: one connection at a time,
// every command answered with success, each message kept with its envelope.
#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dkq::test {

class SmtpServer {
  public:
    // Listens at `port`; 0: at one the system chooses.
    explicit SmtpServer(int port = 0);
    // Waits for the connection in progress, if any (at most 5 s).
    ~SmtpServer();
    SmtpServer(const SmtpServer&) = delete;
    SmtpServer& operator=(const SmtpServer&) = delete;

    int port() const { return port_; }
    // "MAIL FROM:<a>\nRCPT TO:<b>\n" followed by the message up to its "." line.
    std::vector<std::string> messages();

  private:
    void serve();

    int listener_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::vector<std::string> messages_;
    std::thread thread_;
};

}  // namespace dkq::test

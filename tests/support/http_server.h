// A small HTTP server on 127.0.0.1 for the upload and alert tests: it takes
// requests one connection at a time and, by its mode, answers (with the
// statuses given, in turn, then 200), never answers, sends a body without end,
// closes the connection at once, or forwards the request to a server and its
// answer back (but the answers it was told to lose, and none while that
// server is away).
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dkq::test {

enum class HttpMode { Answer, Silent, EndlessBody, CloseAtOnce, Forward };

struct HttpRequest {
    std::string target;  // "/path?query" of the request line
    std::string userAgent;
    std::string body;  // as long as its Content-Length
};

class HttpServer {
  public:
    explicit HttpServer(HttpMode mode, std::string body = "OK", std::deque<int> statuses = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int port() const { return port_; }
    std::vector<HttpRequest> requests();
    // The next `count` requests are answered 503.
    void failNext(int count);
    // Forward mode: the server on 127.0.0.1 to forward to.
    void forwardTo(int port, int answersToLose = 0) {
        answersToLose_ = answersToLose;
        upstreamPort_ = port;
    }

  private:
    void serve();
    bool readRequest(int connection);
    void respond(int connection);
    bool sendAll(int connection, const std::string& bytes);

    const HttpMode mode_;
    std::string body_;
    std::deque<int> statuses_;
    std::atomic<int> upstreamPort_{0};
    std::atomic<int> answersToLose_{0};
    int listener_ = -1;
    int port_ = 0;
    int stopPipe_[2] = {-1, -1};
    std::vector<int> heldConnections_;
    std::mutex mutex_;
    std::vector<HttpRequest> requests_;
    std::thread thread_;
};

}  // namespace dkq::test

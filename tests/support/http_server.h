// A small HTTP server on 127.0.0.1 for the upload and alert tests: it takes
// requests one connection at a time and, by its mode, answers (503 to the
// first ones when told to fail), never answers, sends a body without end or
// closes the connection at once.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dkq::test {

enum class HttpMode { Answer, Silent, EndlessBody, CloseAtOnce };

struct HttpRequest {
    std::string target;  // "/path?query" of the request line
    std::string userAgent;
    std::string body;  // as long as its Content-Length
};

class HttpServer {
  public:
    explicit HttpServer(HttpMode mode, std::string body = "OK");
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int port() const { return port_; }
    std::vector<HttpRequest> requests();
    // The next `count` requests are answered 503.
    void failNext(int count) { failures_ = count; }

  private:
    void serve();
    bool readRequest(int connection);
    void respond(int connection);
    bool sendAll(int connection, const std::string& bytes);

    const HttpMode mode_;
    std::string body_;
    int listener_ = -1;
    int port_ = 0;
    int stopPipe_[2] = {-1, -1};
    std::vector<int> heldConnections_;
    std::atomic<int> failures_ = 0;
    std::mutex mutex_;
    std::vector<HttpRequest> requests_;
    std::thread thread_;
};

}  // namespace dkq::test

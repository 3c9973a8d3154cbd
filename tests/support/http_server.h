// A small HTTP server on 127.0.0.1 for the upload tests: it takes GET
// requests one connection at a time and, by its mode, answers (with the
// statuses given, in turn, then 200), never answers, sends a body without end
// or closes the connection at once.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dkq::test {

enum class HttpMode { Answer, Silent, EndlessBody, CloseAtOnce };

struct HttpRequest {
    std::string target;  // "/path?query" of the request line
    std::string userAgent;
};

class HttpServer {
  public:
    explicit HttpServer(HttpMode mode, std::string body = "OK", std::deque<int> statuses = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int port() const { return port_; }
    std::vector<HttpRequest> requests();

  private:
    void serve();
    bool readRequest(int connection);
    void respond(int connection);
    bool sendAll(int connection, const std::string& bytes);

    const HttpMode mode_;
    std::string body_;
    std::deque<int> statuses_;
    int listener_ = -1;
    int port_ = 0;
    int stopPipe_[2] = {-1, -1};
    std::vector<int> heldConnections_;
    std::mutex mutex_;
    std::vector<HttpRequest> requests_;
    std::thread thread_;
};

}  // namespace dkq::test

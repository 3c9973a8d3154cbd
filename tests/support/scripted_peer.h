// A TCP peer that answers each request (text up to a CR) with the next of a
// list of scripted replies: exact bytes, sent in timed pieces, optionally
// followed by a close or a reset. For answers no real module would give.
#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dkq::test {

struct ScriptedReply {
    struct Piece {
        int delayMs;
        std::string bytes;
    };
    std::vector<Piece> pieces;  // none: stay silent
    enum class End { KeepOpen, Close, Reset } end = End::KeepOpen;

    static ScriptedReply text(std::string bytes) { return {{{0, std::move(bytes)}}}; }
    static ScriptedReply silence() { return {}; }
};

class ScriptedPeer {
  public:
    explicit ScriptedPeer(std::vector<ScriptedReply> replies);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    int port() const { return port_; }
    // Requests received so far, without their CR/LF.
    std::vector<std::string> requests();
    // The requests once `request` came `times` times (they are recorded on
    // the peer's own thread), or all of them after a second.
    std::vector<std::string> awaitRequests(const std::string& request, int times = 1);

  private:
    void serve();
    bool answer(int connection, const ScriptedReply& reply);

    std::vector<ScriptedReply> replies_;
    int listener_ = -1;
    int port_ = 0;
    int stopPipe_[2] = {-1, -1};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace dkq::test

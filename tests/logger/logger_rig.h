// What the record memory tests share: a scripted user, a clock that never
// sleeps, and a reader session on a simulated module over TCP or a
// pseudo-terminal.
#pragma once

#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/prompter.h"
#include "link/module_link.h"
#include "logger/logger_session.h"
#include "logger/record_download.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/sim_process.h"

namespace dkq::test {

struct ShownMessage {
    std::string text;
    MessageIcon icon;
    bool operator==(const ShownMessage&) const = default;
};

class FakePrompter : public Prompter {
  public:
    void message(const std::string& text, MessageIcon icon) override;
    bool askYesNo(const std::string& text) override;
    std::optional<std::string> chooseSaveFile(const std::string& filter,
                                              const std::string& defaultExtension,
                                              const std::string& initialName) override;

    std::vector<ShownMessage> messages;
    std::vector<std::string> questions;
    std::deque<bool> answers;           // next answers to questions; yes when empty
    std::optional<std::string> saveAs;  // the file the user picks; none cancels
    std::string offeredName;            // the initial name of the last save dialog
    std::function<void()> onMessage;    // runs while a message is shown
};

// Local time moves only by secondsPerRead at each reading; sleeping only
// adds up.
class FakeClock : public Clock {
  public:
    std::tm localNow() override;
    void sleepMs(int ms) override { slept += ms; }

    std::tm now = makeTime(2024, 3, 5, 9, 7, 2);
    int secondsPerRead = 0;
    long long slept = 0;
    static std::tm makeTime(int year, int month, int day, int hour, int minute, int second);
};

enum class Transport { Tcp, Pty };

// A reader session on dkqsim (--trace on, so its received lines can be
// checked).
class LoggerRig {
  public:
    LoggerRig(Transport transport, std::vector<std::string> simOptions);
    LoggerRig(const LoggerRig&) = delete;
    LoggerRig& operator=(const LoggerRig&) = delete;

    logger::ConnectResult connect() { return session.ConnectLogger(4, 9600); }
    // Text commands the simulator received since the last call.
    std::vector<std::string> receivedCommands();

    ScratchDir dir;
    std::unique_ptr<SimProcess> sim;
    ModuleLink link;
    FakePrompter prompter;
    FakeClock clock;
    logger::LoggerSession session{link, prompter, clock};
};

// Steps a started download to its end; the step that ended it.
logger::DownloadStep finishDownload(logger::RecordDownload& download);

// The peer's requests once `request` came `times` times (it records them on
// its own thread), or all of them after a second.
std::vector<std::string> requestsUpTo(ScriptedPeer& peer, const std::string& request, int times);

// A file's lines (Windows-1250, CR LF) as UTF-8, without line ends.
std::vector<std::string> csvLines(const std::string& path);

}  // namespace dkq::test

#include "tests/logger/logger_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "common/text.h"

namespace dkq::test {

void FakePrompter::message(const std::string& text, MessageIcon icon) {
    messages.push_back({text, icon});
    if (onMessage) onMessage();
}

bool FakePrompter::askYesNo(const std::string& text) {
    questions.push_back(text);
    if (answers.empty()) return true;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
}

std::optional<std::string> FakePrompter::chooseSaveFile(const std::string& filter,
                                                        const std::string& defaultExtension,
                                                        const std::string& initialName) {
    EXPECT_EQ(filter, "Arkusze CSV (*.CSV)|*.csv||");
    EXPECT_EQ(defaultExtension, "csv");
    offeredName = initialName;
    return saveAs;
}

std::tm FakeClock::makeTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    std::mktime(&t);
    return t;
}

std::tm FakeClock::localNow() {
    const std::tm read = now;
    now.tm_sec += secondsPerRead;
    std::mktime(&now);
    return read;
}

LoggerRig::LoggerRig(Transport transport, std::vector<std::string> simOptions) {
    std::vector<std::string> args{"--trace"};
    if (transport == Transport::Tcp) args.insert(args.end(), {"--tcp", "127.0.0.1:0"});
    if (transport == Transport::Pty) args.insert(args.end(), {"--pty", dir.file("module")});
    args.insert(args.end(), simOptions.begin(), simOptions.end());
    sim = std::make_unique<SimProcess>(args);
    link.UseTcp = transport == Transport::Tcp;
    link.IpAddress = "127.0.0.1";
    link.TcpPort = sim->tcpPort();
    link.ConnectTimeoutMs = 2000;
    link.ReceiveTimeoutMs = 800;
    link.ComDevice = [path = sim->ptyPath()](int) { return path; };
}

logger::DownloadStep finishDownload(logger::RecordDownload& download) {
    logger::DownloadStep step = logger::DownloadStep::Running;
    while (step == logger::DownloadStep::Running) step = download.step();
    return step;
}

std::vector<std::string> LoggerRig::receivedCommands() {
    std::vector<std::string> commands;
    for (const auto& line : sim->takeLines("rx *")) commands.push_back(line.substr(3));
    return commands;
}

std::vector<std::string> requestsUpTo(ScriptedPeer& peer, const std::string& request, int times) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (;;) {
        auto requests = peer.requests();
        if (std::count(requests.begin(), requests.end(), request) >= times ||
            std::chrono::steady_clock::now() > deadline)
            return requests;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::vector<std::string> csvLines(const std::string& path) {
    return decodeTextLines(readFileBytes(path));
}

}  // namespace dkq::test

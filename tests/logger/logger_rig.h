// What the record memory tests share: a reader session on a simulated
// module over TCP or a pseudo-terminal or on a scripted peer for answers no
// module gives, and what the simulated record memory holds.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "link/module_link.h"
#include "logger/format_text.h"
#include "logger/logger_session.h"
#include "logger/record_download.h"
#include "tests/support/core_fakes.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/sim_process.h"

namespace dkq::test {

using Lines = std::vector<std::string>;

// A clock at 2024-03-05 09:07:02 that moves only when a test says so.
struct SessionParts {
    SessionParts() {
        clock.now = localTime("2024-03-05 09:07:02");
        clock.secondsPerRead = 0;
    }

    ModuleLink link;
    ScriptedPrompter prompter;
    FakeClock clock;
    logger::LoggerSession session{link, prompter, clock};

    void useLoopback(int port, int receiveTimeoutMs) {
        link.UseTcp = 1;
        link.IpAddress = "127.0.0.1";
        link.TcpPort = port;
        link.ConnectTimeoutMs = 2000;
        link.ReceiveTimeoutMs = receiveTimeoutMs;
    }
};

enum class Transport { Tcp, Pty };

// Simulated records as CSV rows: item k of record q is (1000 k + q) mod
// 65536, record q is dated 2024-03-01 00:00:00 plus (q - 1) periods.
// L = 30: lines L1, L2, counter C1, output O1, Uzas, Vcc, FLASH%, period,
// outputs word, item 40.
inline const std::vector<std::string> kItems = {"--rec-items", "1,2,17,21,33-37,40"};
inline const char* const kHeader =
    "Lp;Czas RTC;L1 [°C] ;L2 [°C] ;CNT_C1 ;O1 ;Uzas [V] ;Vcc [V] ;FLASH [%] ;Okres_rej [s] "
    ";Wyjscia [bit] ;REG[40] ; Poprawność";

// Reads records as temperatures, optionally writing invalid ones too.
inline logger::DownloadOptions asTemperatures(bool writeInvalid = false) {
    logger::DownloadOptions options;
    options.readAsTemperatures = true;
    options.writeInvalid = writeInvalid;
    return options;
}

// Steps a started download to its end; the step that ended it.
inline logger::DownloadStep finishDownload(logger::RecordDownload& download) {
    logger::DownloadStep step = logger::DownloadStep::Running;
    while (step == logger::DownloadStep::Running) step = download.step();
    return step;
}

// A file's lines (Windows-1250, CR LF) as UTF-8, without line ends.
inline Lines csvLines(const std::string& path) {
    return decodeTextLines(readFileBytes(path));
}

// A reader session and a download on dkqsim holding kItems and the given
// records, with --trace on so its received lines can be checked.
class LoggerRig : public SessionParts {
  public:
    explicit LoggerRig(Lines simOptions, Transport transport = Transport::Tcp) {
        const bool tcp = transport == Transport::Tcp;
        simOptions.insert(simOptions.begin(), {"--trace", tcp ? "--tcp" : "--pty",
                                               tcp ? "127.0.0.1:0" : dir.file("module")});
        simOptions.insert(simOptions.begin(), kItems.begin(), kItems.end());
        sim = std::make_unique<SimProcess>(simOptions);
        useLoopback(sim->tcpPort(), 800);
        link.UseTcp = tcp;
        link.ComDevice = [path = sim->ptyPath()](int) { return path; };
    }

    logger::ConnectResult connect() { return session.ConnectLogger(4, 9600); }
    // Text commands the simulator received since the last call.
    Lines receivedCommands() {
        Lines commands;
        for (const auto& line : sim->takeLines("rx *")) commands.push_back(line.substr(3));
        return commands;
    }
    // Connects if need be and downloads into `file`; the step that ended it.
    logger::DownloadStep run(logger::DownloadOptions options = asTemperatures(),
                             const std::string& file = "dane.csv") {
        if (!link.IsOpen()) {
            EXPECT_TRUE(connect().connected());
        }
        prompter.saveAs = file;
        EXPECT_EQ(download.start(options), logger::DownloadStart::Started);
        EXPECT_EQ(prompter.dialogs.empty() ? "" : prompter.dialogs.back(),
                  "Arkusze CSV (*.CSV)|*.csv|| csv");
        return finishDownload(download);
    }
    // The rows of a file, without its header.
    Lines rows(const std::string& file = "dane.csv") {
        Lines lines = csvLines(dir.file(file));
        return lines.empty() ? lines : Lines(lines.begin() + 1, lines.end());
    }
    std::string lastMessage() const {
        return prompter.messages.empty() ? "" : prompter.messages.back().text;
    }

    ScratchDir dir;
    std::unique_ptr<SimProcess> sim;
    logger::LineTable table;
    logger::RecordDownload download{session, table};
};

// A reader session on a peer that stays silent for the two wake-up lines,
// then gives `replies`.
class ScriptedRig : public SessionParts {
  public:
    // cppcheck-suppress passedByValue ; the copy gets the two silences
    explicit ScriptedRig(std::vector<ScriptedReply> replies)
        : peer([&] {
              replies.insert(replies.begin(), 2, ScriptedReply::silence());
              return replies;
          }()) {
        useLoopback(peer.port(), 100);
    }
    ~ScriptedRig() { link.close_com(); }

    logger::ConnectResult connect() { return session.ConnectLogger(1, 9600); }

    ScratchDir dir;
    ScriptedPeer peer;
};

// A status frame of these figures with a correct CRC.
inline std::string statusBytes(int recordLength, std::int64_t records) {
    logger::StatusAnswer s;
    s.recordLength = recordLength;
    s.recordCount = records;
    s.recordsPerBlock = 16;
    s.blockCount = 4096;
    const auto frame = logger::encodeStatus(s);
    return std::string(frame.begin(), frame.end());
}

inline std::string comma(std::string cell) {
    std::replace(cell.begin(), cell.end(), '.', ',');
    return cell;
}

// The row of record q with a one-minute period, read as temperatures.
inline std::string expectedRow(int q, bool valid = true) {
    const auto v = [q](int item) { return (1000 * item + q) & 0xFFFF; };
    const auto celsius = [](int raw) {
        return comma(logger::formatText(";%.1f", (raw - 2731.5) / 10));
    };
    const auto volts = [](int raw) { return comma(logger::formatText(";%.3f", raw / 1000.0)); };
    const int minutes = q - 1;
    return logger::formatText("%d;2024-03-%02d %2d:%02d:00", q, 1 + minutes / 1440,
                              minutes / 60 % 24, minutes % 60) +
           celsius(v(1)) + celsius(v(2)) + logger::formatText(";%d", v(17)) + volts(v(21)) +
           volts(v(33)) + volts(v(34)) + logger::formatText(";%d%%;%d;%d", v(35), v(36), v(37)) +
           celsius(v(40)) + (valid ? ";1" : ";0");
}

inline std::vector<std::string> expectedRows(int first, int last) {
    std::vector<std::string> rows;
    for (int q = first; q <= last; ++q) rows.push_back(expectedRow(q));
    return rows;
}

}  // namespace dkq::test

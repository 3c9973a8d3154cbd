// The link against answers no healthy module gives: frames without a start,
// wrong headers, resets, closes, silence, answers in timed pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

#include "link/comm_log.h"
#include "link/module_link.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

using test::ScriptedPeer;
using test::ScriptedReply;

class ScriptedLink : public ::testing::Test {
  protected:
    ScriptedLink() {
        link.LogEnabled = 1;
        link.CommLog("");
    }
    void aim(int port, int receiveTimeoutMs = 100) {
        link.UseTcp = 1;
        link.IpAddress = "127.0.0.1";
        link.TcpPort = port;
        link.ConnectTimeoutMs = 5000;
        link.ReceiveTimeoutMs = receiveTimeoutMs;
    }
    void connect(ScriptedPeer& peer, int receiveTimeoutMs = 100) {
        aim(peer.port(), receiveTimeoutMs);
        ASSERT_EQ(link.open_com(0, 0), open::Ok);
    }
    std::string log() { return test::readFileBytes(CommLogFileName); }

    test::ScratchDir dir;
    ModuleLink link;
};

long long elapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

long openDescriptors() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

// ReadInputRegisters(1, 0, 2) expects 7 bytes: 19 characters of answer text.
// After each answer (and a pause) the peer gives a good one: the link
// recovers unless the connection ended, and never takes what is left of an
// earlier answer for it.
TEST_F(ScriptedLink, AnswersAreJudgedByStartLengthLrcAndHeader) {
    struct Case {
        const char* name;
        ScriptedReply reply;
        int code;
        std::string logLine;
        int open = 1;
        int next = tx::Ok;
        int pauseMs = 0;
    };
    const Case cases[] = {
        {"good", ScriptedReply::text(":01040400010002F4\r\n"), tx::Ok, "rx_sum OK, "},
        {"lower case", ScriptedReply::text(":01040400010002f4\r\n"), tx::Ok, "(19 B)"},
        {"stale bytes before the frame", ScriptedReply::text(":0104\r\n:01040400010002F4\r\n"),
         tx::Ok, "(26 B)"},
        {"frame after noise", {{{0, "noise"}, {50, ":01040400010002F4\r\n"}}}, tx::Ok, "(24 B)"},
        {"no frame start", ScriptedReply::text("X01040400010002F4\r\n"), tx::NoFrameStart,
         "rcv: wrong answer start (0x58), data=X01040400010002F4\r\r\n"},
        {"bad LRC", ScriptedReply::text(":01040400010002F5\r\n"), tx::LrcError, "rx_sum ERROR"},
        {"short", ScriptedReply::text("abc"), tx::BadLength, "rcv: wrong answer len (3/19), time="},
        // The frame itself must carry the bytes asked for, its LRC right after
        // them: padding after a short one, or more bytes, make no answer.
        {"padded short frame", ScriptedReply::text(":01040400F7\r\n" + std::string(8, ' ')),
         tx::BadLength, "rcv: wrong answer len (13/19), time="},
        {"longer frame", ScriptedReply::text(":0104040001000200F4\r\n"), tx::BadLength,
         "rcv: wrong answer len (21/19), time="},
        {"long text logged whole", ScriptedReply::text(std::string(510, '\x80')), tx::NoFrameStart,
         "data=" + std::string(510, '\x80') + "\r\n"},
        {"late answer", {{{150, ":01040400050006EC\r\n"}}}, tx::NoAnswer, "rcv: Timeout (", 1,
         tx::Ok, 200},
        {"wrong address", ScriptedReply::text(":02040400010002F3\r\n"), tx::BadLength, "(19 B)"},
        {"wrong function", ScriptedReply::text(":01030400010002F5\r\n"), tx::BadLength, "(19 B)"},
        {"wrong byte count", ScriptedReply::text(":01040300010002F5\r\n"), tx::BadLength, ""},
        {"silence", ScriptedReply::silence(), tx::NoAnswer, "rcv: Timeout ("},
        {"peer closes",
         {{}, ScriptedReply::End::Close},
         tx::PeerClosed,
         "rcv: po\xB3\xB9"
         "czenie zosta\xB3o zerwane",
         0,
         tx::NotOpen},
        // A receive error closes the socket but not the link: the next send
        // fails on the forgotten handle (EBADF, no descriptor reused).
        {"peer resets",
         {{}, ScriptedReply::End::Reset},
         tx::ReceiveError,
         "send failed: 9",
         1,
         tx::SendFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer peer({c.reply, ScriptedReply::text(":01040400010002F4\r\n")});
        connect(peer);
        std::array<std::int32_t, 2> values{-1, -1};
        EXPECT_EQ(link.ReadInputRegisters(1, 0, 2, values), c.code);
        EXPECT_EQ(link.IsOpen(), c.open);
        // Values are written only on success.
        EXPECT_EQ(values[0] + values[1], c.code == tx::Ok ? 3 : -2);
        usleep(static_cast<useconds_t>(c.pauseMs) * 1000);
        EXPECT_EQ(link.ReadInputRegisters(1, 0, 2, values), c.next);
        if (c.next == tx::Ok) {
            EXPECT_EQ(values[0] + values[1], 3);
        }
        EXPECT_NE(log().find(c.logLine), std::string::npos) << log();
        EXPECT_EQ(peer.requests().at(0), ":010400000002F9");
        link.close_com();
    }
}

// Each operation checks its own part of the answer: the echo of a write, the
// header of a diagnostics block. A well-framed answer that fails it is 2.
TEST_F(ScriptedLink, EveryOperationRefusesAWrongEchoOrHeader) {
    ScriptedPeer peer(
        {ScriptedReply::text(":010501020000F7\r\n"), ScriptedReply::text(":010600100006E3\r\n"),
         ScriptedReply::text(":010A0302F0\r\n"), ScriptedReply::text(":011F006400027A\r\n"),
         ScriptedReply::text(":012000000003DC\r\n"),
         ScriptedReply::text(":01080A000102030405060708090AB6\r\n"),
         ScriptedReply::text(":01081E000102030405060708090A0B0C0D0E0F101112131415161718"
                             "191A1B1C1D26\r\n")});
    connect(peer);
    EXPECT_EQ(link.WriteCoil(1, 0x0102, true), tx::BadLength);
    EXPECT_EQ(link.WriteRegister(1, 16, 5), tx::BadLength);
    EXPECT_EQ(link.ClearCounters(1, 3), tx::BadLength);
    EXPECT_EQ(link.WriteRegisters(1, 100, 1, std::vector<std::int32_t>{7}), tx::BadLength);
    EXPECT_EQ(link.WriteText(1, 0, 2, "AB"), tx::BadLength);
    Diagn1Block d1{};
    EXPECT_EQ(link.ReadDiagn1(1, 0, d1), tx::BadLength);  // a block of 10 bytes
    Diagn2Block d2{};
    EXPECT_EQ(link.ReadDiagn2(1, 0, d2), tx::BadLength);    // answered as diagnostics 1
    EXPECT_EQ(log().find("ReadDiagn"), std::string::npos);  // a bad header is not logged
}

TEST_F(ScriptedLink, EleventhEmptyAnswerInARowIsLineDeadUntilAFullLengthAnswer) {
    std::vector<ScriptedReply> replies(12, ScriptedReply::silence());
    replies.push_back(ScriptedReply::text(":01040400010002F5\r\n"));  // full length, bad LRC
    replies.push_back(ScriptedReply::silence());
    ScriptedPeer peer(replies);
    connect(peer, 20);
    std::array<std::int32_t, 2> v{};
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(link.ReadInputRegisters(1, 0, 2, v), tx::NoAnswer) << i;
    EXPECT_EQ(link.ReadInputRegisters(1, 0, 2, v), tx::LineDead);
    EXPECT_EQ(link.ReadInputRegisters(1, 0, 2, v), tx::LineDead);
    EXPECT_EQ(link.IsOpen(), 1);
    EXPECT_EQ(link.ReadInputRegisters(1, 0, 2, v), tx::LrcError);
    EXPECT_EQ(link.TimeoutCount, 0);
    EXPECT_EQ(link.ReadInputRegisters(1, 0, 2, v), tx::NoAnswer);
    EXPECT_NE(log().find("ms), ZERWANE PO\xA3\xA5"
                         "CZENIE ***\r\n"),
              std::string::npos);
}

// Broadcast writes succeed even on a closed link; nothing that does not fit
// the frame buffers is sent; a broadcast read has no answer.
TEST_F(ScriptedLink, BroadcastsAndBounds) {
    EXPECT_EQ(link.WriteRegister(0, 16, 5) + link.WriteCoil(0, 1, true) + link.ClearCounters(0, 15),
              tx::Ok);
    std::vector<std::int32_t> values(200);
    EXPECT_EQ(link.WriteRegister(1, 16, 5), tx::NotOpen);
    EXPECT_EQ(link.ReadInputRegisters(0, 0, 2, values), tx::NotOpen);
    ScriptedPeer peer({});
    connect(peer);
    EXPECT_EQ(link.ReadInputRegisters(1, 0, 126, values), tx::BadLength);
    EXPECT_EQ(link.ReadInputRegisters(1, 0, 3, std::span(values).first(2)), tx::BadLength);
    EXPECT_EQ(link.WriteRegisters(1, 0, 124, values), tx::BadLength);
    EXPECT_EQ(link.WriteText(1, 0, 247, std::string(247, 'x')), tx::BadLength);
    EXPECT_EQ(link.ReadInputRegisters(0, 0, 2, values), tx::BadLength);
    EXPECT_EQ(peer.awaitRequests(":000400000002FA"), std::vector<std::string>{":000400000002FA"});
}

TEST_F(ScriptedLink, OpenFailuresEndAtOnceAndLeakNothing) {
    link.ComDevice = [](int) { return std::string("/nonexistent/tty"); };
    EXPECT_EQ(link.open_com(7, 9600), open::PortFailed);
    EXPECT_NE(log().find("open_COM7 ERROR\r\n"), std::string::npos);

    int freePort;
    {
        ScriptedPeer gone({});
        freePort = gone.port();
    }
    aim(freePort);
    const long before = openDescriptors();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) ASSERT_EQ(link.open_com(0, 0), open::ConnectTimeout);
    EXPECT_LT(elapsedMs(start), 4000);  // one time-out would take 5000 ms
    EXPECT_EQ(link.IsOpen(), 0);
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_NE(log().find(">5000 ms)"), std::string::npos);

    ScriptedPeer peer({});
    connect(peer);
    usleep(100'000);
    const long connected = openDescriptors();
    for (int i = 0; i < 50; ++i) connect(peer);  // reopening closes the old socket
    usleep(100'000);
    EXPECT_EQ(openDescriptors(), connected);
}

// Text commands of the record memory, in one conversation: an answer in
// pieces is joined within the extended wait, an answer into a part of
// AnswerText changes only what arrives, the end of transmission waits for
// nothing, and the wait ends 1500 ms after the answer began.
TEST_F(ScriptedLink, TextCommands) {
    EXPECT_EQ(link.AsciiCommand("*RD_0,0", 31), 0);  // closed, and below not in record mode
    ScriptedPeer peer({{{{50, "OK"}, {300, "\r\n1234"}, {300, "5"}}},
                       ScriptedReply::text("WXYZ"),
                       ScriptedReply::text("late"),
                       {{{50, "O"}, {1700, "K"}}}});
    connect(peer, 100);
    EXPECT_EQ(link.AsciiCommand("*CLR=1,0", 3), 0);
    link.RecordMemoryMode = true;
    EXPECT_EQ(link.AsciiCommand("*CLR=1,0", 9), 9);
    EXPECT_EQ(std::string(link.AnswerText.begin(), link.AnswerText.begin() + 10),
              std::string("OK\r\n12345\0", 10));

    link.AnswerText.fill(0xAA);
    EXPECT_EQ(link.AsciiCommandInto("*RD_5,1", 4, std::span(link.AnswerText).subspan(100, 4)), 4);
    EXPECT_EQ(std::string(link.AnswerText.begin() + 99, link.AnswerText.begin() + 105),
              "\xAAWXYZ\xAA");

    link.ReceiveTimeoutMs = 1000;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.AsciiCommand("*EOT!", 1), 0);
    EXPECT_LT(elapsedMs(start), 900);  // not the 1000 ms receive time-out
    peer.awaitRequests("*EOT!");

    link.ReceiveTimeoutMs = 100;
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.AsciiCommand("*RD_0,0", 31), 1);  // "K" comes too late
    EXPECT_GE(elapsedMs(start), 1450);
    EXPECT_EQ(peer.requests(),
              (std::vector<std::string>{"*CLR=1,0", "*RD_5,1", "*EOT!", "*RD_0,0"}));
}

}  // namespace
}  // namespace dkq

// The reader's conversation with a module: opening, the status request, the
// confirmed commands and the end, against dkqsim and a scripted peer.
#include <gtest/gtest.h>

#include <thread>

#include "logger/logger_messages.h"
#include "tests/logger/logger_rig.h"
#include "tests/support/scripted_peer.h"

namespace dkq::test {
namespace {

using namespace dkq::logger;

const std::vector<std::string> kModule = {
    "--rec-count",  "120", "--rec-items", "1-3,33",
    "--rec-period", "30",  "--rec-clock", "2024-05-06 07:08:09"};

class SessionOnSimulator : public ::testing::TestWithParam<Transport> {
  protected:
    SessionOnSimulator() : rig(GetParam(), kModule) {}
    LoggerRig rig;
};

TEST_P(SessionOnSimulator, ConnectWakesTheMemoryAndReadsItsStatus) {
    const ConnectResult result = rig.connect();
    ASSERT_TRUE(result.connected());
    EXPECT_TRUE(rig.session.moduleReady());
    EXPECT_TRUE(rig.prompter.messages.empty());
    const StatusAnswer& s = *rig.session.status();
    EXPECT_EQ(s.recordCount, 120);
    EXPECT_EQ(s.recordLength, 18);
    EXPECT_EQ(s.mask, (LoggedItemMask{0x07, 0, 0, 0, 0x01}));
    EXPECT_EQ(s.periodSeconds, 30);
    EXPECT_EQ(moduleClockText(s).substr(0, 18), "2024-05-06  7:08:0");
    const auto wakeUps = rig.sim->takeLines("rx :002100000000DF");
    EXPECT_EQ(wakeUps.size(), 2u);
    // Over TCP the wake-up lines are text commands with pauses around them.
    EXPECT_EQ(rig.clock.slept, GetParam() == Transport::Tcp ? 400 : 0);
    EXPECT_EQ(rig.receivedCommands(), std::vector<std::string>{"*RD_0,0"});
}

TEST_P(SessionOnSimulator, DisconnectSendsEndTwiceAndClosesTheLine) {
    ASSERT_TRUE(rig.connect().connected());
    rig.receivedCommands();
    rig.session.DisconnectLogger();
    EXPECT_FALSE(rig.link.IsOpen());
    EXPECT_FALSE(rig.session.moduleReady());
    EXPECT_EQ(rig.receivedCommands(), (std::vector<std::string>{"*EOT!", "*EOT!"}));
}

INSTANTIATE_TEST_SUITE_P(Lines, SessionOnSimulator,
                         ::testing::Values(Transport::Tcp, Transport::Pty));

class CommandsOnSimulator : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(rig.connect().connected());
        rig.receivedCommands();
    }
    LoggerRig rig{Transport::Tcp, kModule};
};

TEST_F(CommandsOnSimulator, ClearAsksThenRefreshesTheStatus) {
    rig.prompter.answers = {false};
    EXPECT_EQ(rig.session.ClearMemory(), CommandOutcome::Declined);
    EXPECT_EQ(rig.receivedCommands(), std::vector<std::string>{"*RD_0,0"});

    EXPECT_EQ(rig.session.ClearMemory(), CommandOutcome::Confirmed);
    EXPECT_EQ(rig.receivedCommands(), (std::vector<std::string>{"*CLR=1,0", "*RD_0,0"}));
    EXPECT_EQ(rig.session.status()->recordCount, 0);
    EXPECT_EQ(rig.prompter.questions, std::vector<std::string>(2, text::AskClear));
    EXPECT_EQ(rig.prompter.messages,
              (std::vector<ShownMessage>{{text::Cleared, MessageIcon::Information}}));
}

TEST_F(CommandsOnSimulator, ClockIsSetFromThePc) {
    rig.prompter.answers = {false, true};
    EXPECT_EQ(rig.session.SetClock(), CommandOutcome::Declined);
    EXPECT_TRUE(rig.receivedCommands().empty());

    EXPECT_EQ(rig.session.SetClock(), CommandOutcome::Confirmed);
    EXPECT_EQ(rig.receivedCommands(),
              (std::vector<std::string>{"*CK=09:07:02 05-03-24", "*RD_0,0"}));
    EXPECT_EQ(moduleClockText(*rig.session.status()).substr(0, 18), "2024-03-05  9:07:0");
    EXPECT_EQ(rig.prompter.questions, std::vector<std::string>(2, text::AskSetClock));
    EXPECT_EQ(rig.prompter.messages,
              (std::vector<ShownMessage>{{text::ClockSet, MessageIcon::Information}}));
}

TEST_F(CommandsOnSimulator, SettingsKeepingTheItemsAreSentWithoutAQuestion) {
    LoggingSettings wanted = loggingSettingsOf(*rig.session.status());
    wanted.loggingOn = true;
    wanted.cyclicBuffer = true;
    wanted.periodSeconds = 3600;
    EXPECT_EQ(rig.session.ChangeSettings(wanted), CommandOutcome::Confirmed);
    EXPECT_TRUE(rig.prompter.questions.empty());
    EXPECT_EQ(rig.receivedCommands(),
              (std::vector<std::string>{"*LG=1,1,3600,7,0,0,0,1", "*RD_0,0"}));
    const StatusAnswer& s = *rig.session.status();
    EXPECT_TRUE(s.loggingOn);
    EXPECT_TRUE(s.cyclicBuffer);
    EXPECT_EQ(s.periodSeconds, 3600);
    EXPECT_EQ(rig.prompter.messages,
              (std::vector<ShownMessage>{{text::SettingsSent, MessageIcon::Information}}));
}

TEST_F(CommandsOnSimulator, ChangingTheItemsAsksAndWarnsToClear) {
    LoggingSettings wanted = loggingSettingsOf(*rig.session.status());
    setLogged(wanted.mask, 34, true);
    setLogged(wanted.mask, 40, true);  // cannot be chosen: never sent
    rig.prompter.answers = {false, true};
    EXPECT_EQ(rig.session.ChangeSettings(wanted), CommandOutcome::Declined);
    EXPECT_TRUE(rig.receivedCommands().empty());

    EXPECT_EQ(rig.session.ChangeSettings(wanted), CommandOutcome::Confirmed);
    EXPECT_EQ(rig.receivedCommands(),
              (std::vector<std::string>{"*LG=0,0,30,7,0,0,0,3", "*RD_0,0"}));
    EXPECT_EQ(rig.session.status()->recordLength, 20);
    EXPECT_EQ(rig.prompter.questions, std::vector<std::string>(2, text::AskChangeItems));
    EXPECT_EQ(rig.prompter.messages,
              (std::vector<ShownMessage>{{text::SettingsSent, MessageIcon::Information},
                                         {text::ClearAfterItemsChange, MessageIcon::Exclamation}}));
}

TEST(Session, RecordsLoggedWhileConnectedAppearInTheStatus) {
    LoggerRig rig(Transport::Tcp, {"--rec-count", "5", "--rec-logging", "--rec-period", "1"});
    ASSERT_TRUE(rig.connect().connected());
    const auto before = rig.session.status()->recordCount;
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_EQ(rig.session.RefreshStatus(), status::Ok);
    EXPECT_GT(rig.session.status()->recordCount, before);
}

// --- answers no simulated module gives ----------------------------------

std::string statusBytes(int recordLength, std::int64_t records) {
    StatusAnswer s;
    s.recordLength = recordLength;
    s.recordCount = records;
    s.recordsPerBlock = 16;
    s.blockCount = 4096;
    const auto frame = encodeStatus(s);
    return std::string(frame.begin(), frame.end());
}

// Two silent replies for the wake-up lines, then `replies`.
std::vector<ScriptedReply> afterWakeUp(std::vector<ScriptedReply> replies) {
    replies.insert(replies.begin(), 2, ScriptedReply::silence());
    return replies;
}

class SessionOnScriptedPeer : public ::testing::Test {
  protected:
    ConnectResult connectTo(ScriptedPeer& peer) {
        link.UseTcp = 1;
        link.IpAddress = "127.0.0.1";
        link.TcpPort = peer.port();
        link.ConnectTimeoutMs = 2000;
        link.ReceiveTimeoutMs = 100;
        return session.ConnectLogger(1, 9600);
    }
    ModuleLink link;
    FakePrompter prompter;
    FakeClock clock;
    LoggerSession session{link, prompter, clock};
};

struct BadStatusCase {
    const char* what;
    std::vector<ScriptedReply> replies;
    int code;
    const char* message;
};

TEST_F(SessionOnScriptedPeer, BadStatusAnswersEndTheConnection) {
    const std::string good = statusBytes(30, 100);
    std::string wrongCrc = good;
    wrongCrc[30] ^= 1;
    std::string letterR = good;
    letterR[0] = 'R';
    const std::vector<BadStatusCase> cases = {
        {"30 bytes",
         {ScriptedReply::text(good.substr(0, 30))},
         status::WrongLength,
         text::StatusWrongLength},
        {"letter R",
         {ScriptedReply::text(letterR)},
         status::UnknownFormat,
         text::StatusUnknownFormat},
        {"wrong CRC", {ScriptedReply::text(wrongCrc)}, status::ChecksumError, text::StatusDamaged},
        {"no answer", std::vector<ScriptedReply>(6, ScriptedReply::silence()), status::NoAnswer,
         text::NoStatusAnswer},
        {"short on five tries, then correct",
         {ScriptedReply::text("S"), ScriptedReply::silence(), ScriptedReply::silence(),
          ScriptedReply::silence(), ScriptedReply::silence(), ScriptedReply::text(good)},
         status::Ok,
         nullptr},
    };
    for (const auto& c : cases) {
        ScriptedPeer peer(afterWakeUp(c.replies));
        prompter.messages.clear();
        const ConnectResult result = connectTo(peer);
        EXPECT_EQ(result.statusCode, c.code) << c.what;
        const auto requests =
            c.message ? requestsUpTo(peer, "*EOT!", 2) : requestsUpTo(peer, "*RD_0,0", 6);
        if (c.message == nullptr) {
            EXPECT_TRUE(prompter.messages.empty()) << c.what;
            EXPECT_TRUE(link.IsOpen()) << c.what;
            EXPECT_EQ(std::count(requests.begin(), requests.end(), "*RD_0,0"), 6) << c.what;
            link.close_com();
            continue;
        }
        EXPECT_EQ(prompter.messages, (std::vector<ShownMessage>{{c.message, MessageIcon::Error}}))
            << c.what;
        EXPECT_FALSE(link.IsOpen()) << c.what;
        EXPECT_FALSE(session.moduleReady()) << c.what;
        ASSERT_GE(requests.size(), 2u) << c.what;
        EXPECT_EQ(requests.back(), "*EOT!") << c.what;
        EXPECT_EQ(requests[requests.size() - 2], "*EOT!") << c.what;
    }
}

TEST_F(SessionOnScriptedPeer, ALostConnectionIsReportedWithoutEnding) {
    ScriptedReply closing = ScriptedReply::silence();
    closing.end = ScriptedReply::End::Close;
    ScriptedPeer peer(afterWakeUp({closing}));
    EXPECT_EQ(connectTo(peer).statusCode, status::NoAnswer);
    EXPECT_EQ(prompter.messages,
              (std::vector<ShownMessage>{{text::TcpLinkLost, MessageIcon::Error}}));
}

TEST_F(SessionOnScriptedPeer, AConfirmationNeedsMoreThanTwoBytesStartingOk) {
    const std::string good = statusBytes(30, 100);
    ScriptedPeer peer(afterWakeUp({ScriptedReply::text(good), ScriptedReply::text("OK"),
                                   ScriptedReply::text("OK\r"), ScriptedReply::text(good),
                                   ScriptedReply::text("KO\r")}));
    ASSERT_TRUE(connectTo(peer).connected());
    EXPECT_EQ(session.SetClock(), CommandOutcome::NotConfirmed);
    EXPECT_EQ(session.SetClock(), CommandOutcome::Confirmed);
    EXPECT_EQ(session.SetClock(), CommandOutcome::NotConfirmed);
    EXPECT_EQ(prompter.messages,
              (std::vector<ShownMessage>{{text::NotConfirmed, MessageIcon::Error},
                                         {text::ClockSet, MessageIcon::Information},
                                         {text::NotConfirmed, MessageIcon::Error}}));
    link.close_com();
}

TEST_F(SessionOnScriptedPeer, OpenFailuresAreShownWithTheirAddress) {
    int unusedPort = 0;
    {
        ScriptedPeer gone({});
        unusedPort = gone.port();
    }
    link.UseTcp = 1;
    link.IpAddress = "127.0.0.1";
    link.TcpPort = unusedPort;
    link.ConnectTimeoutMs = 500;
    EXPECT_EQ(session.ConnectLogger(1, 9600).openCode, open::ConnectTimeout);

    link.UseTcp = 0;
    link.ComDevice = [](int) { return std::string("/nonexistent/tty"); };
    EXPECT_EQ(session.ConnectLogger(4, 9600).openCode, open::PortFailed);
    const std::string network =
        "Błąd połączenia w sieci !\nAdres IP (127.0.0.1:" + std::to_string(unusedPort) +
        ") nie odpowiada.";
    EXPECT_EQ(prompter.messages,
              (std::vector<ShownMessage>{{network, MessageIcon::Error},
                                         {"Błąd otwarcia portu COM4 !", MessageIcon::Error}}));
}

TEST_F(SessionOnScriptedPeer, StatusButtonRefusesWhenNotConnected) {
    EXPECT_EQ(session.RefreshStatus(), status::NoAnswer);
    EXPECT_EQ(prompter.messages,
              (std::vector<ShownMessage>{{text::NotConnected, MessageIcon::Exclamation}}));
}

}  // namespace
}  // namespace dkq::test

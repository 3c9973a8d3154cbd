// The reader's conversation with a module: the confirmed commands on dkqsim,
// and on a scripted peer the answers no simulated module gives.
#include <gtest/gtest.h>

#include "logger/logger_messages.h"
#include "tests/logger/logger_rig.h"

namespace dkq::test {
namespace {

using namespace dkq::logger;

TEST(SessionOnSimulator, CommandsAskFirstThenSendAndRefreshTheStatus) {
    LoggerRig rig({"--rec-count", "120", "--rec-items", "1-3,33", "--rec-period", "30",
                   "--rec-clock", "2024-05-06 07:08:09"});
    ASSERT_TRUE(rig.connect().connected());
    EXPECT_EQ(rig.receivedCommands(), Lines{"*RD_0,0"});
    LoggingSettings items = loggingSettingsOf(*rig.session.status());
    setLogged(items.mask, 34, true);
    setLogged(items.mask, 40, true);  // cannot be chosen: never sent

    rig.prompter.answers = {false, false, false};
    EXPECT_EQ(rig.session.ClearMemory(), CommandOutcome::Declined);
    EXPECT_EQ(rig.session.SetClock(), CommandOutcome::Declined);
    EXPECT_EQ(rig.session.ChangeSettings(items), CommandOutcome::Declined);
    EXPECT_EQ(rig.receivedCommands(), Lines{"*RD_0,0"});  // a declined clear refreshes too

    EXPECT_EQ(rig.session.SetClock(), CommandOutcome::Confirmed);
    EXPECT_EQ(rig.session.ChangeSettings(items), CommandOutcome::Confirmed);
    LoggingSettings sameItems = loggingSettingsOf(*rig.session.status());
    sameItems.loggingOn = sameItems.cyclicBuffer = true;
    sameItems.periodSeconds = 3600;
    EXPECT_EQ(rig.session.ChangeSettings(sameItems), CommandOutcome::Confirmed);  // not asked
    EXPECT_EQ(rig.session.ClearMemory(), CommandOutcome::Confirmed);
    EXPECT_EQ(rig.receivedCommands(),
              (Lines{"*CK=09:07:02 05-03-24", "*RD_0,0", "*LG=0,0,30,7,0,0,0,3", "*RD_0,0",
                     "*LG=1,1,3600,7,0,0,0,3", "*RD_0,0", "*CLR=1,0", "*RD_0,0"}));
    EXPECT_EQ(rig.prompter.questions,
              (Lines{text::AskClear, text::AskSetClock, text::AskChangeItems, text::AskSetClock,
                     text::AskChangeItems, text::AskClear}));
    // Enter answers Nie where Tak destroys records.
    using enum DefaultAnswer;
    EXPECT_EQ(rig.prompter.defaults, (std::vector<DefaultAnswer>{No, Yes, No, Yes, No, No}));
    EXPECT_EQ(rig.prompter.messages,
              (Messages{{text::ClockSet, MessageIcon::Information},
                        {text::SettingsSent, MessageIcon::Information},
                        {text::ClearAfterItemsChange, MessageIcon::Exclamation},
                        {text::SettingsSent, MessageIcon::Information},
                        {text::Cleared, MessageIcon::Information}}));
    const StatusAnswer& s = *rig.session.status();
    EXPECT_EQ(moduleClockText(s).substr(0, 18), "2024-03-05  9:07:0");
    EXPECT_EQ(std::tie(s.recordCount, s.recordLength, s.loggingOn, s.cyclicBuffer, s.periodSeconds),
              std::make_tuple(0, 20, true, true, 3600));
}

TEST(SessionOnScriptedPeer, BadStatusAnswersEndTheConnection) {
    const std::string good = statusBytes(30, 100);
    std::string wrongCrc = good, letterR = good;
    wrongCrc[30] ^= 1;
    letterR[0] = 'R';
    const auto silence = ScriptedReply::silence();
    ScriptedReply closing = silence;
    closing.end = ScriptedReply::End::Close;
    const std::tuple<std::vector<ScriptedReply>, int, const char*> cases[] = {
        // Short answers are asked for again, six times in all.
        {{ScriptedReply::text("S"), silence, silence, silence, silence,
          ScriptedReply::text(good.substr(0, 30))},
         status::WrongLength,
         text::StatusWrongLength},
        {std::vector<ScriptedReply>(6, silence), status::NoAnswer, text::NoStatusAnswer},
        {{ScriptedReply::text(letterR)}, status::UnknownFormat, text::StatusUnknownFormat},
        {{ScriptedReply::text(wrongCrc)}, status::ChecksumError, text::StatusDamaged},
        {{closing}, status::NoAnswer, text::TcpLinkLost},  // said, with nothing left to end
    };
    for (const auto& [replies, code, message] : cases) {
        ScriptedRig rig(replies);
        EXPECT_EQ(rig.connect().statusCode, code) << message;
        EXPECT_EQ(rig.prompter.messages, (Messages{{message, MessageIcon::Error}}));
        EXPECT_FALSE(rig.link.IsOpen());
        EXPECT_FALSE(rig.session.moduleReady());
        if (replies.front().end == ScriptedReply::End::Close) continue;
        const Lines requests = rig.peer.awaitRequests("*EOT!", 2);
        ASSERT_GE(requests.size(), 2u);
        EXPECT_EQ(Lines(requests.end() - 2, requests.end()), (Lines{"*EOT!", "*EOT!"}));
        if (replies.size() == 6) {
            EXPECT_EQ(std::count(requests.begin(), requests.end(), "*RD_0,0"), 6);
        }
    }
}

TEST(SessionOnScriptedPeer, AConfirmationNeedsMoreThanTwoBytesStartingOk) {
    const std::string good = statusBytes(30, 100);
    ScriptedRig rig({ScriptedReply::text(good), ScriptedReply::text("OK"),
                     ScriptedReply::text("OK\r"), ScriptedReply::text(good),
                     ScriptedReply::text("KO\r")});
    ASSERT_TRUE(rig.connect().connected());
    EXPECT_EQ(rig.session.SetClock(), CommandOutcome::NotConfirmed);
    EXPECT_EQ(rig.session.SetClock(), CommandOutcome::Confirmed);
    EXPECT_EQ(rig.session.SetClock(), CommandOutcome::NotConfirmed);
    EXPECT_EQ(rig.prompter.messages, (Messages{{text::NotConfirmed, MessageIcon::Error},
                                               {text::ClockSet, MessageIcon::Information},
                                               {text::NotConfirmed, MessageIcon::Error}}));
}

TEST(SessionOpening, APortThatDoesNotOpenIsNamedAndLeavesNothingToAsk) {
    SessionParts s;
    s.link.UseTcp = 0;
    s.link.ComDevice = [](int) { return std::string("/nonexistent/tty"); };
    EXPECT_EQ(s.session.ConnectLogger(4, 9600).openCode, open::PortFailed);
    EXPECT_EQ(s.session.RefreshStatus(), status::NoAnswer);
    EXPECT_EQ(s.prompter.messages, (Messages{{"Błąd otwarcia portu COM4 !", MessageIcon::Error},
                                             {text::NotConnected, MessageIcon::Exclamation}}));
}

}  // namespace
}  // namespace dkq::test

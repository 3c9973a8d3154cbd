// The bus between the line and the modules: which lines are frames, who
// answers, broadcasts, the record memory seam, and damaged answers.
#include <gtest/gtest.h>

#include "sim/bus.h"
#include "tests/sim/frames.h"

namespace dkq::sim::test {
namespace {

const TimePoint Start{};
const Bytes ReadOutputWord1{1, 3, 0, 16, 0, 1};

class RecordingPeer : public TextCommandPeer {
  public:
    std::string answerTextCommand(std::string_view command) override {
        commands.emplace_back(command);
        return "OK\r";
    }
    void wakeUp() override { ++wakeUps; }
    std::vector<std::string> commands;
    int wakeUps = 0;
};

BusSettings deterministicBus(std::vector<int> addresses) {
    BusSettings settings;
    settings.addresses = std::move(addresses);
    settings.deterministic = true;
    return settings;
}

class BusLines : public ::testing::Test {
  protected:
    Reply send(const std::string& line) { return bus.takeLine(line, Start); }
    std::uint16_t outputWord(int address) {
        return bus.module(address)->holding(OutputWordRegister);
    }

    RecordingPeer peer;
    Bus bus{deterministicBus({1, 2, 5}), peer, Start};
};

TEST_F(BusLines, FrameIsTakenFromTheLastColonInEitherCase) {
    const std::string request = requestLine(ReadOutputWord1);
    const std::string expected = modbus::encodeFrame(Bytes{1, 3, 2, 0, 0});
    EXPECT_EQ(send(request).text, expected);
    EXPECT_EQ(send("\x7F#?::0" + request).text, expected);
    std::string lower = request;
    for (char& c : lower) c = static_cast<char>(std::tolower(c));
    EXPECT_EQ(send(lower).text, expected);
}

TEST_F(BusLines, BadOrTinyFramesAndNoiseGetNoAnswer) {
    std::string badLrc = requestLine(ReadOutputWord1);
    badLrc.back() = badLrc.back() == '0' ? '1' : '0';
    for (const std::string& line : {badLrc, requestLine({1}), std::string(":"),
                                    std::string("hello"), requestLine({9, 3, 0, 0, 0, 1})})
        EXPECT_EQ(send(line).text, "") << line;
}

TEST_F(BusLines, BroadcastWritesReachEveryModuleAndAreNotAnswered) {
    EXPECT_EQ(send(requestLine({0, 6, 0, 16, 0, 9})).text, "");
    EXPECT_EQ(send(requestLine({0, 3, 0, 0, 0, 1})).text, "");
    for (int address : {1, 2, 5}) EXPECT_EQ(outputWord(address), 9);
}

TEST_F(BusLines, MutedModuleTakesWritesButNeverAnswers) {
    ASSERT_TRUE(bus.setMuted(2, true));
    EXPECT_EQ(send(requestLine({2, 6, 0, 16, 0, 3})).text, "");
    EXPECT_EQ(outputWord(2), 3);
    ASSERT_TRUE(bus.setMuted(2, false));
    EXPECT_NE(send(requestLine({2, 3, 0, 16, 0, 1})).text, "");
    EXPECT_FALSE(bus.setMuted(3, true));
}

TEST_F(BusLines, TextCommandsAndWakeUpGoToTheRecordMemory) {
    EXPECT_EQ(send("*CK=09:07:02 05-03-24").text, "OK\r");
    EXPECT_EQ(send(":002100000000DF").text, "");
    EXPECT_EQ(peer.commands, std::vector<std::string>{"*CK=09:07:02 05-03-24"});
    EXPECT_EQ(peer.wakeUps, 1);
}

TEST(BusExceptions, ChosenFunctionsAreRefusedWithoutEffect) {
    NoRecordMemory none;
    auto settings = deterministicBus({1});
    settings.exceptionFunctions = {6};
    Bus bus(settings, none, Start);
    EXPECT_EQ(answerBytes(bus.takeLine(requestLine({1, 6, 0, 16, 0, 1}), Start).text),
              (Bytes{1, 0x86, 1}));
    bus.takeLine(requestLine({0, 6, 0, 16, 0, 1}), Start);
    EXPECT_EQ(bus.module(1)->holding(OutputWordRegister), 0);
}

// --- faults ---------------------------------------------------------------

const Bytes Answer{1, 3, 2, 0x12, 0xAB};

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

TEST(Faults, EachKindDamagesTheAnswerAsNamed) {
    const std::string clean = modbus::encodeFrame(Answer);
    const auto deliver = [](const char* spec) {
        FaultInjector faults(1);
        faults.add(*parseFaultSpec(spec));
        return faults.deliver(1, Answer);
    };
    std::array<std::uint8_t, 16> bytes{};

    const Reply badLrc = deliver("bad-lrc");
    EXPECT_EQ(badLrc.text.size(), clean.size());
    EXPECT_EQ(modbus::decodeFrame(badLrc.text, 0, bytes).code, tx::LrcError);

    const Reply lower = deliver("lower-hex");
    EXPECT_EQ(lower.text, lowerCase(clean));
    EXPECT_EQ(answerBytes(lower.text), Answer);

    const Reply cut = deliver("short");
    EXPECT_EQ(cut.text, clean.substr(0, clean.size() / 2));
    EXPECT_FALSE(cut.closeAfter);

    const Reply closing = deliver("close-mid");
    EXPECT_EQ(closing.text, cut.text);
    EXPECT_TRUE(closing.closeAfter);

    const Reply garbage = deliver("garbage");
    EXPECT_EQ(garbage.text, std::string(GarbagePrefix) + clean);
    EXPECT_EQ(answerBytes(garbage.text), Answer);

    EXPECT_EQ(deliver("silent").text, "");
}

TEST(Faults, ReachOnlyTheirModule) {
    FaultInjector faults(1);
    faults.add(*parseFaultSpec("silent:2"));
    EXPECT_EQ(faults.deliver(1, Answer).text, modbus::encodeFrame(Answer));
    EXPECT_EQ(faults.deliver(2, Bytes{2, 3, 2, 0, 0}).text, "");
    faults.clear();
    EXPECT_NE(faults.deliver(2, Bytes{2, 3, 2, 0, 0}).text, "");
}

// Which of 64 answers of module 2 a fault with probability 0.5 struck.
std::string strikePattern(unsigned seed, bool interleaveModule1) {
    FaultInjector faults(seed);
    faults.add(*parseFaultSpec("silent:2@0.5"));
    faults.add(*parseFaultSpec("lower-hex:1"));
    std::string pattern;
    for (int i = 0; i < 64; ++i) {
        if (interleaveModule1) faults.deliver(1, Answer);
        pattern += faults.deliver(2, Answer).text.empty() ? 'x' : '.';
    }
    return pattern;
}

TEST(Faults, ProbabilitiesAreReproducibleFromTheSeed) {
    const std::string pattern = strikePattern(42, false);
    EXPECT_EQ(strikePattern(42, false), pattern);
    EXPECT_NE(strikePattern(43, false), pattern);
    EXPECT_NE(pattern.find('x'), std::string::npos);
    EXPECT_NE(pattern.find('.'), std::string::npos);
    // Answers that no probable fault concerns draw nothing.
    EXPECT_EQ(strikePattern(42, true), pattern);
}

struct SpecCase {
    const char* text;
    std::optional<FaultSpec> spec;
};

class FaultSpecs : public ::testing::TestWithParam<SpecCase> {};

TEST_P(FaultSpecs, Parse) {
    const auto& c = GetParam();
    const auto spec = parseFaultSpec(c.text);
    ASSERT_EQ(spec.has_value(), c.spec.has_value()) << c.text;
    if (!spec) return;
    EXPECT_EQ(spec->kind, c.spec->kind);
    EXPECT_EQ(spec->address, c.spec->address);
    EXPECT_DOUBLE_EQ(spec->probability, c.spec->probability);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FaultSpecs,
    ::testing::Values(SpecCase{"bad-lrc", FaultSpec{FaultKind::BadLrc, 0, 1}},
                      SpecCase{"short:3@0.25", FaultSpec{FaultKind::Short, 3, 0.25}},
                      SpecCase{"garbage@0", FaultSpec{FaultKind::Garbage, 0, 0}},
                      SpecCase{"close-mid:247", FaultSpec{FaultKind::CloseMid, 247, 1}},
                      SpecCase{"lower-hex", FaultSpec{FaultKind::LowerHex, 0, 1}},
                      SpecCase{"nope", std::nullopt}, SpecCase{"short:0", std::nullopt},
                      SpecCase{"short:248", std::nullopt}, SpecCase{"short@1.5", std::nullopt},
                      SpecCase{"short@-0.1", std::nullopt}, SpecCase{"short:3@", std::nullopt},
                      SpecCase{"silent:", std::nullopt}, SpecCase{"silent:1:2", std::nullopt}));

}  // namespace
}  // namespace dkq::sim::test

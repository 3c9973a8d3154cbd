// The command line, the faults it names and the state file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "sim/options.h"
#include "sim/state_file.h"
#include "tests/sim/frames.h"
#include "tests/support/sim_process.h"

namespace dkq::sim::test {
namespace {

const TimePoint Start{};

TEST(Options, ModuleLists) {
    const std::pair<const char*, std::vector<int>> good[] = {{"1", {1}},
                                                             {"1,2,3", {1, 2, 3}},
                                                             {"1-3,7", {1, 2, 3, 7}},
                                                             {"7,2-3,2", {2, 3, 7}},
                                                             {"247", {247}}};
    for (const auto& [text, addresses] : good) EXPECT_EQ(parseModuleList(text), addresses) << text;
    for (const char* text : {"0", "248", "3-1", "1,,2", "", "1-", "x"})
        EXPECT_FALSE(parseModuleList(text)) << text;
}

// Options no process test gives, seen in what the bus then does.
TEST(Options, MuteAndExceptionsReachTheBus) {
    const auto parsed = parseOptions(
        {"--tcp", "0", "--modules", "1-2", "--deterministic", "--mute", "2", "--exception", "6"});
    ASSERT_EQ(parsed.outcome, ParsedOptions::Outcome::Run) << parsed.error;
    NoRecordMemory none;
    Bus bus(parsed.options.bus, none, Start);
    const auto send = [&](const Bytes& request) {
        return answerBytes(bus.takeLine(requestLine(request), Start).text);
    };
    EXPECT_EQ(send({1, 6, 0, 16, 0, 1}), (Bytes{1, 0x86, 1}));
    EXPECT_EQ(send({2, 3, 0, 16, 0, 1}), Bytes{});
    send({0, 6, 0, 16, 0, 1});  // refused without effect
    EXPECT_EQ(bus.module(1)->holding(OutputWordRegister), 0);
    EXPECT_EQ(parseOptions({"--help"}).outcome, ParsedOptions::Outcome::Help);
    // The pacing itself is seen in the session's tests, its wire time in the benchmarks.
    const PacingSettings pacing =
        parseOptions({"--tcp", "0", "--baud", "38400", "--delay", "10"}).options.session.pacing;
    EXPECT_EQ(pacing.baud * 100 + pacing.delay.count(), 3840010);
}

TEST(Options, RefuseMistakes) {
    // No front end, an unknown option, a missing value, a port out of range,
    // an empty host, modules not on the bus, values out of range.
    for (const char* line : {"", "--tcp 0 --bogus", "--tcp", "--tcp 70000", "--tcp :80",
                             "--tcp 0 --mute 2", "--tcp 0 --fault short:4", "--tcp 0 --baud 0",
                             "--tcp 0 --delay -1", "--tcp 0 --close-after 0", "--tcp 0 --seed -3",
                             "--tcp 0 --exception 128", "--tcp 0 --trace=1"}) {
        std::istringstream words(line);
        const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
        const auto parsed = parseOptions(std::vector<std::string_view>(args.begin(), args.end()));
        EXPECT_EQ(parsed.outcome, ParsedOptions::Outcome::Error) << line;
        EXPECT_FALSE(parsed.error.empty());
    }
}

TEST(Faults, Rules) {
    // The kinds' names are read by the tests below.
    const std::pair<const char*, FaultRule> good[] = {
        {"short:3@0.25", {FaultKind::Short, 3, 0.25}},
        {"garbage@0", {FaultKind::Garbage, 0, 0}},
        {"close-mid:247", {FaultKind::CloseMid, 247, 1}}};
    for (const auto& [text, expected] : good) {
        const auto rule = parseFaultRule(text);
        ASSERT_TRUE(rule) << text;
        EXPECT_TRUE(rule->kind == expected.kind && rule->address == expected.address &&
                    rule->probability == expected.probability)
            << text;
    }
    for (const char* text : {"nope", "short:0", "short:248", "short@1.5", "short@-0.1", "short:3@",
                             "silent:", "silent:1:2"})
        EXPECT_FALSE(parseFaultRule(text)) << text;
}

const Bytes Answer{1, 3, 2, 0x12, 0xAB};

TEST(Faults, EachKindDamagesTheAnswerAsNamed) {
    const std::string clean = modbus::encodeFrame(Answer);
    const auto deliver = [](const char* rule) {
        FaultInjector faults(1);
        faults.add(*parseFaultRule(rule));
        return faults.deliver(1, Answer);
    };
    std::array<std::uint8_t, 16> bytes{};
    const Reply badLrc = deliver("bad-lrc");
    EXPECT_EQ(badLrc.text.size(), clean.size());
    EXPECT_EQ(modbus::decodeFrame(badLrc.text, 0, bytes).code, tx::LrcError);
    std::string lower = clean;
    for (char& c : lower) c = static_cast<char>(std::tolower(c));
    EXPECT_EQ(deliver("lower-hex").text, lower);
    EXPECT_EQ(deliver("garbage").text, std::string(GarbagePrefix) + clean);
    EXPECT_EQ(deliver("silent").text, "");
    const Reply cut = deliver("short"), closing = deliver("close-mid");
    EXPECT_EQ(cut.text, clean.substr(0, clean.size() / 2));
    EXPECT_FALSE(cut.closeAfter);
    EXPECT_EQ(closing.text, cut.text);
    EXPECT_TRUE(closing.closeAfter);
}

// Which of 64 answers of module 2 a fault with probability 0.5 struck.
std::string strikePattern(unsigned seed, bool interleaveModule1) {
    FaultInjector faults(seed);
    faults.add(*parseFaultRule("silent:2@0.5"));
    faults.add(*parseFaultRule("lower-hex:1"));
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

ConfigMemory memoryWith(std::uint16_t first, std::uint16_t last) {
    ConfigMemory memory{};
    memory.front() = first;
    memory.back() = last;
    return memory;
}

TEST(StateFile, RoundTripsRefusesMalformedFilesAndLoadsIntoModulesOnTheBus) {
    // Writing and reading the file back across a restart is seen in the dkq
    // config tool's test; here what a file may not hold.
    dkq::test::ScratchDir dir;
    const ConfigState state{{1, memoryWith(0, 65535)}, {247, memoryWith(7, 8)}};
    const std::string file = formatConfigState(state);
    const std::string line = file.substr(file.find("config 247 "));
    EXPECT_EQ(parseConfigState("# comment\n\r\n" + file), state);
    const std::string malformed[] = {
        "config 2 1 2 3\n",                           // too few values
        line.substr(0, line.size() - 1) + " 4\n",     // too many
        "config 0" + line.substr(10),                 // address 0
        line.substr(0, line.size() - 2) + "65536\n",  // value out of range
        "registers 2\n",                              // unknown keyword
    };
    for (const auto& text : malformed) EXPECT_FALSE(parseConfigState(text)) << text;
    std::ofstream(dir.file("bad.txt")) << malformed[0];
    ConfigState read;
    std::string error;
    EXPECT_EQ(readConfigStateFile(dir.file("bad.txt"), read, error), StateRead::Malformed);
    EXPECT_NE(error.find("bad.txt"), std::string::npos);
    // Loaded into modules on the bus only.
    NoRecordMemory none;
    Bus bus(deterministicBus({3}), none, Start);
    loadConfigState(bus, {{3, memoryWith(5, 6)}, {4, memoryWith(9, 9)}});
    EXPECT_EQ(configStateOf(bus), (ConfigState{{3, memoryWith(5, 6)}}));
}

}  // namespace
}  // namespace dkq::sim::test
